// A library that loads but is no module: it exports neither entry point.
extern "C" int notAModule() {
    return 0;
}
