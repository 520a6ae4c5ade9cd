#include "common/AppPaths.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <unistd.h>

using namespace vantrel;

namespace {

// Sets an environment variable (or unsets it for nullopt) for the life of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
        if (const char* old = std::getenv(name))
            old_ = old;
        if (value)
            ::setenv(name, value->c_str(), 1);
        else
            ::unsetenv(name);
    }
    ~ScopedEnv() {
        if (old_)
            ::setenv(name_, old_->c_str(), 1);
        else
            ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

class AppPaths : public testing::Test {
protected:
    void SetUp() override { std::filesystem::create_directories(dir); }
    void TearDown() override { std::filesystem::remove_all(dir); }
    void Touch(const std::string& path) {
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream(path) << "";
    }
    const std::string dir = testing::TempDir() + "/app-paths-" + std::to_string(::getpid());
};

} // namespace

// The program counts as installed only in PREFIX/bin beside the package's desktop entry; a
// build folder, a copy elsewhere or a bin folder of someone else's keeps its files beside it.
TEST_F(AppPaths, InstalledOnlyInAPrefixWithTheDesktopEntry) {
    Touch(dir + "/usr/share/applications/vantrel.desktop");
    Touch(dir + "/build/share/applications/other.desktop");
    Touch(dir + "/tools/share/applications/vantrel.desktop");
    const struct {
        std::string program;
        bool installed;
    } cases[] = {
        {dir + "/usr/bin/vantrel", true},
        {dir + "/usr/bin/vantrel-cli", true},
        {dir + "/usr/bin/flowcfg", true}, // a renamed copy in the installed folder
        {dir + "/build/bin/vantrel", false},
        {dir + "/tools/vantrel", false}, // the entry is there but the program is not in bin/
        {dir + "/elsewhere/bin/vantrel", false},
        {"vantrel", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsInstalledProgram(c.program), c.installed) << c.program;
    // The tests themselves run from the build folder.
    EXPECT_FALSE(RunningInstalled());
}

// An installed program's settings are the user's even where it may write (root in /usr/bin).
TEST_F(AppPaths, AnInstalledProgramKeepsItsSettingsInTheUsersFolder) {
    Touch(dir + "/usr/share/applications/vantrel.desktop");
    std::filesystem::create_directories(dir + "/usr/bin");
    ScopedEnv config("XDG_CONFIG_HOME", dir + "/config");
    EXPECT_EQ(SettingsFilePathFor(dir + "/usr/bin/vantrel"), dir + "/config/vantrel/vantrel.ini");
    EXPECT_EQ(SettingsFilePathFor(dir + "/usr/bin/flowcfg"), dir + "/config/vantrel/flowcfg.ini");
    EXPECT_TRUE(std::filesystem::is_directory(dir + "/config/vantrel"));
}

// The XDG rules: an absolute variable wins, a relative or empty one is ignored for the
// default under the home folder.
TEST_F(AppPaths, StateAndDataFoldersFollowTheXdgRules) {
    ScopedEnv home("HOME", dir + "/home");
    const struct {
        std::optional<std::string> value;
        std::string state, data;
    } cases[] = {
        {std::nullopt, dir + "/home/.local/state/vantrel", dir + "/home/.local/share/vantrel"},
        {"", dir + "/home/.local/state/vantrel", dir + "/home/.local/share/vantrel"},
        {"relative/path", dir + "/home/.local/state/vantrel", dir + "/home/.local/share/vantrel"},
        {dir + "/xdg", dir + "/xdg/vantrel", dir + "/xdg/vantrel"},
    };
    for (const auto& c : cases) {
        ScopedEnv state("XDG_STATE_HOME", c.value);
        ScopedEnv data("XDG_DATA_HOME", c.value);
        EXPECT_EQ(UserStateDir(), c.state) << c.value.value_or("(unset)");
        EXPECT_EQ(UserDataDir(), c.data) << c.value.value_or("(unset)");
    }
    // Naming the folders creates nothing: they are made when first needed.
    EXPECT_FALSE(std::filesystem::exists(dir + "/home"));
}

TEST_F(AppPaths, CreateFolderMakesTheMissingLevelsOrSaysWhichFolderFailed) {
    const std::string nested = dir + "/a/b/c/vantrel";
    EXPECT_EQ(CreateFolder(nested), "");
    EXPECT_TRUE(std::filesystem::is_directory(nested));
    EXPECT_EQ(CreateFolder(nested), "") << "a folder that is there is no problem";

    // A file where a level should be.
    Touch(dir + "/home/.local");
    EXPECT_EQ(CreateFolder(dir + "/home/.local/state/vantrel"),
              "Unable to create the folder " + dir +
                  "/home/.local/state/vantrel: Not a directory.");
    Touch(dir + "/plain");
    EXPECT_EQ(CreateFolder(dir + "/plain"),
              "Unable to create the folder " + dir + "/plain: a file of that name is in the way.");
    if (::geteuid() != 0) {
        std::filesystem::create_directories(dir + "/locked");
        std::filesystem::permissions(dir + "/locked", std::filesystem::perms::owner_read |
                                                          std::filesystem::perms::owner_exec);
        EXPECT_EQ(CreateFolder(dir + "/locked/vantrel"),
                  "Unable to create the folder " + dir + "/locked/vantrel: Permission denied.");
        std::filesystem::permissions(dir + "/locked", std::filesystem::perms::owner_all);
    }
}
