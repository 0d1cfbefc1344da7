// A library the loader tests find by name; each build answers its own value.
extern "C" __attribute__((visibility("default"))) int ProbeValue() {
    return PROBE_VALUE;
}
