// A shared library named like the framework that lacks its entry point, for the start-up
// tests: StreamCourier loads it, finds no QXDll and must give up cleanly.
extern "C" __attribute__((visibility("default"))) int ZivizarWithoutEntry() {
    return 0;
}
