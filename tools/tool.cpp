#include "tool.h"

#include "module_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>

namespace fs = std::filesystem;

Result<std::vector<uint8_t>> readRowFile(const std::string& path) {
    std::error_code ignored;
    if (fs::is_directory(path, ignored))
        return Failure{path + ": is a folder, not a row file"};
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return Failure{path + ": " + std::strerror(errno)};
    std::vector<uint8_t> bytes;
    uint8_t chunk[65536];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + got);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed)
        return Failure{path + ": could not be read"};
    return bytes;
}

Status checkWritablePlace(const std::string& path, const std::string& what) {
    std::error_code ignored;
    if (path.empty())
        return Failure{what + ": no file name given"};
    if (fs::is_directory(path, ignored))
        return Failure{path + ": is a folder, not a " + what};
    const fs::path folder = fs::path(path).parent_path();
    if (!folder.empty() && !fs::is_directory(folder, ignored))
        return Failure{path + ": the folder " + folder.string() + " does not exist"};
    return {};
}

Result<std::unique_ptr<HostInstance>> startInstance(const std::string& modulePath, double rate,
                                                    long blockSize) {
    Result<ModuleFile> module = ModuleFile::load(modulePath);
    if (!module)
        return Failure{module.error()};
    return HostInstance::create(*module,
                                {static_cast<float>(rate), static_cast<int32_t>(blockSize)});
}

namespace {

Result<std::string> modulePathFor(const CommandLine& line) {
    if (line.modulePath)
        return *line.modulePath;
    return defaultModulePath();
}

Status runCommand(const CommandLine& line, std::istream& in, std::ostream& out) {
    if (line.command == "show")
        return showRow(line, out);
    if (line.command == "write")
        return writeRow(line, in, out);
    if (line.command == "list")
        return listMidi(line, in, out);
    Result<std::string> module = modulePathFor(line);
    if (!module)
        return Failure{module.error()};
    if (line.command == "play")
        return playRow(line, *module, out);
    return recordRow(line, *module, in, out);
}

// The tool's version, and the module's name and release line when a module file loads.
void printVersion(const CommandLine& line, std::ostream& out) {
    out << "kaveltrum-host " << KAVELTRUM_VERSION << "\n";
    Result<std::string> path = modulePathFor(line);
    Result<ModuleFile> module = path ? ModuleFile::load(*path) : Result<ModuleFile>{Failure{}};
    Result<ModuleInfo> info = module ? module->properties() : Result<ModuleInfo>{Failure{}};
    if (!info)
        return;
    const std::string release = info->about.substr(0, info->about.find_first_of("\r\n"));
    out << "module " << info->name << " (" << *path
        << "): " << release.substr(0, release.find_last_not_of(' ') + 1) << "\n";
}

} // namespace

int runTool(const std::vector<std::string>& words, std::istream& in, std::ostream& out,
            std::ostream& err) {
    Result<CommandLine> line = parseCommandLine(words);
    if (!line) {
        err << "kaveltrum-host: " << line.error() << "\n";
        return 2;
    }
    if (line->version) {
        printVersion(*line, out);
        return 0;
    }
    if (line->help) {
        out << helpText(line->command);
        return 0;
    }
    const Status done = runCommand(*line, in, out);
    if (!done) {
        out.flush();
        err << "kaveltrum-host: " << done.error() << "\n";
        return 1;
    }
    return 0;
}

int runTool(const std::vector<std::string>& words, std::ostream& out, std::ostream& err) {
    return runTool(words, std::cin, out, err);
}
