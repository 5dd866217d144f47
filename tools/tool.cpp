#include "tool.h"

#include "check/check_command.h"
#include "module_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

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

Status runCommand(const CommandLine& line, std::ostream& out) {
    if (line.command == "show")
        return showRow(line, out);
    Result<std::string> module = modulePathFor(line);
    if (!module)
        return Failure{module.error()};
    if (line.command == "play")
        return playRow(line, *module, out);
    return recordRow(line, *module, out);
}

} // namespace

int runTool(const std::vector<std::string>& words, std::ostream& out, std::ostream& err) {
    if (!words.empty() && isCheckCommand(words[0]))
        return runCheckCommand(words, out, err);
    if (words.size() == 1 && (words[0] == "--help" || words[0] == "-h")) {
        out << usageText;
        return 0;
    }
    Result<CommandLine> line = parseCommandLine(words);
    if (!line) {
        err << "kaveltrum-host: " << line.error() << "\n" << usageText;
        return 2;
    }
    const Status done = runCommand(*line, out);
    if (!done) {
        out.flush();
        err << "kaveltrum-host: " << done.error() << "\n";
        return 1;
    }
    return 0;
}
