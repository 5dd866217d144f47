// The JACK library is found when live runs; without it, or with a library that is not JACK's,
// live fails in one line that says what is missing.
#include "jack_library.h"

#include <gtest/gtest.h>

TEST(JackLibrary, OpensJacksOwnAndNamesWhatAnotherLacks) {
    const Result<JackLibrary>& jack = jackLibrary();
    ASSERT_TRUE(jack) << jack.error();
    EXPECT_NE(jack->client_open, nullptr);
    EXPECT_NE(jack->set_xrun_callback, nullptr);
    EXPECT_EQ(&jackLibrary(), &jack);

    const struct {
        const char* file;
        const char* says;
    } failures[] = {
        {"libkaveltrum-no-such-jack.so.0",
         "live needs the JACK library libkaveltrum-no-such-jack.so.0, which is not installed: "
         "install JACK (jackd2) or PipeWire's JACK"},
        {"libm.so.6", "the JACK library libm.so.6 has no jack_activate"},
    };
    for (const auto& f : failures) {
        const Result<JackLibrary> opened = openJackLibrary(f.file);
        ASSERT_FALSE(opened) << f.file;
        EXPECT_EQ(opened.error(), f.says);
    }
}
