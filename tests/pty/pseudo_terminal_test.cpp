#include "instrument/pty/pseudo_terminal.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>

#include <grp.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

using varlo::PseudoTerminal;

namespace {

namespace fs = std::filesystem;

// A fresh directory for the links of one test, removed with it.
class PortDirectory : public ::testing::Test {
protected:
    PortDirectory()
    {
        std::string pattern = fs::temp_directory_path() / "varlo-pty-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("cannot create a temporary directory");
        dir = pattern;
    }
    ~PortDirectory() override { fs::remove_all(dir); }

    PseudoTerminal open(const char* name, PseudoTerminal::Slave slave)
    {
        auto opened = PseudoTerminal::open(dir / name, slave);
        if (!opened.terminal)
            throw std::runtime_error(opened.error);
        return std::move(*opened.terminal);
    }

    fs::path dir;
};

// Whether this process may give a file it owns to the group dialout.
bool mayUseDialout()
{
    const group* dialout = ::getgrnam("dialout");
    if (dialout == nullptr)
        return false;
    if (::geteuid() == 0)
        return true;
    gid_t groups[256];
    const int count = ::getgroups(256, groups);
    for (int i = 0; i < count; ++i)
        if (groups[i] == dialout->gr_gid)
            return true;
    return ::getegid() == dialout->gr_gid;
}

TEST_F(PortDirectory, SlaveIsSetUpLikeASerialAdapterAtNinetySixHundredEightNOne)
{
    const PseudoTerminal com1 = open("COM1", PseudoTerminal::Slave::Kept);
    struct stat device {};
    ASSERT_EQ(::stat(com1.slavePath().c_str(), &device), 0);
    EXPECT_EQ(device.st_uid, ::geteuid()) << "the owner stays whoever created it";
    if (mayUseDialout()) {
        EXPECT_EQ(device.st_gid, ::getgrnam("dialout")->gr_gid);
        EXPECT_EQ(device.st_mode & 0777, 0660u);
    }
    termios line{};
    ASSERT_EQ(::tcgetattr(com1.master(), &line), 0);
    EXPECT_EQ(::cfgetospeed(&line), speed_t{B9600});
    EXPECT_EQ(line.c_cflag & (CSIZE | PARENB | CSTOPB), tcflag_t{CS8});
    EXPECT_EQ(line.c_lflag & (ICANON | ECHO), 0u) << "raw";
}

TEST_F(PortDirectory, RemovesItsLinkWhenDestroyedButNotALinkTakenOverSince)
{
    {
        const PseudoTerminal com4 = open("COM4", PseudoTerminal::Slave::Released);
    }
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "COM4")));

    std::optional<PseudoTerminal> first = open("COM4", PseudoTerminal::Slave::Released);
    const PseudoTerminal second = open("COM4", PseudoTerminal::Slave::Released);
    first.reset();
    EXPECT_EQ(fs::read_symlink(dir / "COM4"), second.slavePath());
}

// The number of a hung-up pty goes to the next one made: a kept link would lead there.
TEST_F(PortDirectory, HangingUpRemovesItsLink)
{
    PseudoTerminal com4 = open("COM4", PseudoTerminal::Slave::Released);
    com4.closeMaster();
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "COM4")));
}

TEST_F(PortDirectory, ReplacesAStaleLinkButNoOtherFile)
{
    fs::create_symlink("/nonexistent/pts/99", dir / "COM5");
    const PseudoTerminal com5 = open("COM5", PseudoTerminal::Slave::Released);
    EXPECT_EQ(fs::read_symlink(dir / "COM5"), com5.slavePath());

    std::ofstream(dir / "COM6") << "not a port";
    const PseudoTerminal::Opened refused =
        PseudoTerminal::open(dir / "COM6", PseudoTerminal::Slave::Released);
    EXPECT_FALSE(refused.terminal);
    EXPECT_NE(refused.error.find("not a link"), std::string::npos) << refused.error;
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(dir / "COM6")));
}

} // namespace
