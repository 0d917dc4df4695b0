// A shared library that loads but has no SendLogSvrLog.
extern "C" __attribute__((visibility("default"))) int SomethingElse() {
    return 7;
}
