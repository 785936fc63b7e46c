// A module for the module-loading tests: it reports which folder it was built for.
extern "C" __attribute__((visibility("default"))) int ProbeFolder() {
    return PROBE_FOLDER;
}
