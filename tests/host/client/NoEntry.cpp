// A shared library that is no module: it lacks GetController.
extern "C" __attribute__((visibility("default"))) int NotTheEntry() {
    return 0;
}
