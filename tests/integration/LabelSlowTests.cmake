# Read by ctest after the discovered tests of integration_tests are defined.
foreach(test IN LISTS integration_tests_TESTS)
  if(test MATCHES "/SilentHost")
    set_tests_properties(${test} PROPERTIES LABELS "integration;slow")
  endif()
endforeach()
