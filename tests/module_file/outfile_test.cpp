// OUTFILE texts a record file cannot be made of: too long, unterminated, empty, the name of a
// folder, of a read-only file, of a file in a folder that does not exist.
#include "support/instance.h"

#include <filesystem>

namespace {

namespace fs = std::filesystem;

// The capacity the module gave with its last pin text request.
int32_t lastTextCapacity(const ModuleDriver& driver) {
    int32_t capacity = 0;
    for (const HostRequest& request : driver.requests())
        if (request.opcode == HostPinText)
            capacity = request.value;
    return capacity;
}

size_t entriesIn(const std::string& folder) {
    size_t count = 0;
    for (auto it = fs::recursive_directory_iterator(folder);
         it != fs::recursive_directory_iterator(); ++it)
        ++count;
    return count;
}

// A name of exactly 399 characters for a file in a folder of its own, so that the name the
// module keeps (the first 399 characters of whatever it is given) can be found on disk. Windows
// opens no path that long, so the folder is not made there.
std::string nameOf399(const Scratch& scratch, int id) {
    const std::string folder = scratch.file("case" + std::to_string(id) + "_");
    const std::string padded = folder + std::string(200 - folder.size() % 100, 'd');
#if !defined(_WIN32)
    fs::create_directories(padded);
#endif
    std::string name = (fs::path(padded) / "f").string();
    name += std::string(399 - name.size(), 'f');
    return name;
}

struct Text {
    size_t length;
    bool careless; // the host fills the buffer to the brim and leaves out the terminator
};

// A text of 399 characters or more names the file of its first 399; no longer name is ever
// opened. Some systems allow no path that long, and then nothing is recorded, but nothing breaks.
TEST(ValidatorOutFile, LongAndUnterminatedTextsKeepTheirFirst399Characters) {
    const Text table[] = {{399, false}, {400, false}, {1500, false},
                          {399, true},  {400, true},  {1500, true}};
    Scratch scratch;
    int id = 0;
    for (const Text& text : table) {
        SCOPED_TRACE(std::to_string(text.length) + " characters" +
                     (text.careless ? ", unterminated" : ""));
        const std::string kept = nameOf399(scratch, id++);
        ASSERT_EQ(kept.size(), 399u);
        std::string given = kept + std::string(1500, 'x');
        given.resize(text.length);
        const int note = 30 + id;
        LoadedKaveltrum raw(unopened());
        raw.host.textStyle = text.careless ? TextStyle::Brimful : TextStyle::Terminated;
        raw.open();
        raw.outFile(given);
        EXPECT_EQ(lastTextCapacity(raw.host), 400)
            << "the size of the module's buffer for the name";
        raw.set(Rec, 1.0f);
        raw.block();
        raw.midi(noteOn(note));
        raw.reload();
        raw.close();
        EXPECT_FALSE(exists(kept + "x"));
#if !defined(_WIN32)
        EXPECT_TRUE(exists(kept));
#endif
        if (exists(kept)) {
            EXPECT_EQ(readBytes(kept), std::vector<uint8_t>({static_cast<uint8_t>(note)}));
        }
    }
}

// Names under which no record file can be opened, or only by a privileged user. Whatever the
// system allows, the module neither crashes nor damages what is there: a folder stays a folder
// and a read-only file keeps its bytes, and if it could be opened at all it loads and records
// like any other.
TEST(ValidatorOutFile, NamesThatAreNoRecordFile) {
    Scratch scratch;
    const std::string folder = scratch.file("a folder");
    fs::create_directories(folder);
    const std::string readOnly = scratch.file("read-only.brumo");
    writeBytes(readOnly, {60, 62});
    fs::permissions(readOnly,
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    const std::string missing = scratch.file("no such folder") + "/deeper/row.brumo";
    const std::string names[] = {"", folder, folder + "/", readOnly, missing};
    for (const std::string& name : names) {
        SCOPED_TRACE("OUTFILE '" + name + "'");
        const size_t entries = entriesIn(scratch.path());
        LoadedKaveltrum hosted(told());
        hosted.param(LoopIt, 0);
        hosted.outFile(name);
        hosted.set(Play, 1.0f);
        hosted.set(Rec, 1.0f);
        hosted.block();
        hosted.midi(noteOn(50));
        hosted.pulse();
        hosted.pulse();
        hosted.pulse();
        hosted.reload();
        hosted.close();
        EXPECT_EQ(entriesIn(scratch.path()), entries) << "no file or folder appears";
        EXPECT_TRUE(fs::is_directory(folder));
        EXPECT_FALSE(exists(scratch.file("no such folder")));
        if (name == readOnly) {
            const std::vector<uint8_t> bytes = readBytes(readOnly);
            const bool opened = bytes.size() == 3;
            EXPECT_EQ(bytes,
                      opened ? std::vector<uint8_t>({60, 62, 50}) : std::vector<uint8_t>({60, 62}));
            EXPECT_EQ(hosted.played(), opened ? std::vector<int>({60, 62}) : std::vector<int>());
        } else {
            EXPECT_TRUE(hosted.sent().empty());
        }
    }
}

} // namespace
