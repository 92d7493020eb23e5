# Read by ctest after the discovered tests of integration_slow_tests are defined.
if(integration_slow_tests_TESTS)
  set_tests_properties(${integration_slow_tests_TESTS} PROPERTIES LABELS "integration;slow")
endif()
