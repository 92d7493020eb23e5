// Exports something, but not the framework entry.
extern "C" int NotTheEntry() {
    return 7;
}
