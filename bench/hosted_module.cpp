#include "hosted_module.h"

#include "scratch_folder.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

void giveUp(const std::string& why) {
    std::fprintf(stderr, "kaveltrum-bench: %s\n", why.c_str());
    std::exit(1);
}

HostedModule::HostedModule(bool open) {
    Result<std::unique_ptr<ModuleDriver>> made =
        ModuleDriver::make({getModuleProperties, makeModule});
    if (!made)
        giveUp(made.error());
    driver = std::move(*made);
    driver->logRequests = false;
    driver->checkRequests = false; // blocks and events go to the record straight
    driver->keepSent = false;      // counted only: a benchmark sends millions
    record = driver->record();
    if (!open)
        return;
    // The module keeps its own rate and block size, as the benchmarks have always measured it.
    StartSettings settings;
    settings.tell = false;
    if (Status started = driver->start(settings); !started)
        giveUp(started.error());
    param("on D: DIAGNOSE.TXT", 0);
}

int32_t HostedModule::pinNamed(const char* name) const {
    Result<int32_t> pin = driver->findPin(name);
    if (!pin)
        giveUp(pin.error());
    return *pin;
}

float* HostedModule::input(const char* name) {
    return driver->block(pinNamed(name));
}

void HostedModule::set(const char* name, float level) {
    float* samples = input(name);
    std::fill(samples, samples + BlockCapacity, level);
}

void HostedModule::param(const char* name, int16_t value) {
    if (Status written = driver->setParameter(pinNamed(name), value); !written)
        giveUp(written.error());
}

void HostedModule::outFile(const std::string& path) {
    const int32_t pin = pinNamed("OUTFILE");
    driver->setText(pin, path);
    if (Status told = driver->pinStatus(pin, 1); !told)
        giveUp(told.error());
}

std::string scratchPath(const std::string& name) {
    static ScratchFolder folder("kaveltrum-bench");
    return folder.file(name);
}

bool writeRowFile(const std::string& path, long size) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    bool written = true;
    for (long i = 0; i < size && written; ++i)
        written = std::fputc(36 + static_cast<int>(i % 48), file) != EOF; // four octaves up from C2
    return std::fclose(file) == 0 && written;
}

long fileSize(const std::string& path) {
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    return error ? -1 : static_cast<long>(size);
}
