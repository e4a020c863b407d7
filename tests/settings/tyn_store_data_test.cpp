#include "settings/tyn_store_data.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "test_support.h"

namespace tarvex {
namespace {

using test::ReadFile;
using test::ScopedEnv;
using test::TempDir;
namespace fs = std::filesystem;

std::string FileText(const std::string& path) {
    const Bytes bytes = ReadFile(path);
    return std::string(bytes.begin(), bytes.end());
}

TEST(TynStoreData, DefaultsOfANewStore) {
    TTynStoreData store;
    EXPECT_TRUE(store.DataStore.Enabled);
    EXPECT_EQ(store.DataStore.Section, "MySection");
    EXPECT_EQ(store.DataStore.Datatype, sRegistry);
    EXPECT_EQ(store.DataStore.Registry.Rootkey, hkeyCurrentUser);
    EXPECT_EQ(store.DataStore.Registry.Path(), "\\Software\\Company\\Product");
    EXPECT_EQ(store.DataStore.Inifile.IniFilename, "MyFile.ini");

    const std::string password = store.DataStore.Password();
    EXPECT_EQ(password.size(), 8u);
    store.DataStore.SetPassword("other");
    EXPECT_EQ(store.DataStore.Password(), "other");
    store.DataStore.SetPassword("");
    EXPECT_EQ(store.DataStore.Password(), password) << "an empty password restores the default";
}

TEST(TynStoreData, PathIsKeptWithBackslashesAndALeadingSeparator) {
    TTynRegistry reg;
    reg.SetPath("Software/Morvane/Tarvex");
    EXPECT_EQ(reg.Path(), "\\Software\\Morvane\\Tarvex");
    reg.SetPath("\\Already\\Fine");
    EXPECT_EQ(reg.Path(), "\\Already\\Fine");
    reg.SetPath("");
    EXPECT_EQ(reg.Path(), "");
}

TEST(TynStoreData, RootKeysMapThroughTheTableSkippingTheUnnamedRoot) {
    EXPECT_EQ(RootKeyHandle(hkeyClassesRoot), 0x80000000u);
    EXPECT_EQ(RootKeyHandle(hkeyLocalMachine), 0x80000002u);
    EXPECT_EQ(RootKeyHandle(hkeyUsers), 0x80000003u);
    EXPECT_EQ(RootKeyHandle(hkeyCurrentConfig), 0x80000005u);
    EXPECT_EQ(RootKeyHandle(hkeyDynData), 0x80000006u);
    EXPECT_STREQ(RootKeyName(hkeyLocalMachine), "HKEY_LOCAL_MACHINE");
}

TEST(TynStoreData, StoredIntegersAreDecimalThatFits32Bits) {
    EXPECT_EQ(ParseStoredInteger("12"), 12);
    EXPECT_EQ(ParseStoredInteger("-2147483648"), INT32_MIN);
    EXPECT_EQ(ParseStoredInteger("+7"), 7);
    EXPECT_FALSE(ParseStoredInteger("2147483648"));
    EXPECT_FALSE(ParseStoredInteger("abc"));
    EXPECT_FALSE(ParseStoredInteger("1x"));
    EXPECT_FALSE(ParseStoredInteger(""));
    EXPECT_FALSE(ParseStoredInteger("-"));
    EXPECT_FALSE(ParseStoredInteger("99999999999999999999999"));
}

// Every behaviour of the store, once per back end, in a temporary configuration folder.
class StoreBackEnd : public ::testing::TestWithParam<TTynDatatype> {
protected:
    StoreBackEnd() : env_("XDG_CONFIG_HOME", temp_.path().string()) {
        store_.DataStore.Datatype = GetParam();
        store_.DataStore.Section = "Data";
        store_.DataStore.Registry.Rootkey = hkeyLocalMachine;
        store_.DataStore.Registry.SetPath("\\Software\\Morvane\\Tarvex");
        store_.OnError = [this](TTynStoreData& sender) {
            EXPECT_EQ(&sender, &store_);
            ++errors_;
        };
    }
    std::string StoreFile() const { return store_.CurrentLocation().fileName; }
    bool AnythingWritten() const { return !fs::is_empty(temp_.path()); }

    TempDir temp_;
    ScopedEnv env_;
    TTynStoreData store_;
    int errors_ = 0;
};

TEST_P(StoreBackEnd, ValuesRoundTripWithTheirTextEncodings) {
    store_.WriteString("ImageDirectory", "/home/u/Диски");
    store_.WriteInteger("Type", -3);
    store_.WriteBool("SamePath", true);
    store_.WriteBool("LOG", false);
    EXPECT_EQ(store_.ReadString("ImageDirectory", ""), "/home/u/Диски");
    EXPECT_EQ(store_.ReadInteger("Type", 0), -3);
    EXPECT_TRUE(store_.ReadBool("SamePath", false));
    EXPECT_FALSE(store_.ReadBool("LOG", true));
    EXPECT_EQ(errors_, 0);

    const std::string text = FileText(StoreFile());
    EXPECT_NE(text.find("Type=-3\n"), std::string::npos) << text;
    EXPECT_NE(text.find("SamePath=1\n"), std::string::npos) << text;
    EXPECT_NE(text.find("LOG=0\n"), std::string::npos) << text;

    store_.WriteInteger("Type", 5);  // a write replaces the value in place
    EXPECT_EQ(store_.ReadInteger("Type", 0), 5);
    EXPECT_EQ(FileText(StoreFile()).find("-3"), std::string::npos);
}

TEST_P(StoreBackEnd, DisabledStoreReadsDefaultsAndWritesNothing) {
    store_.DataStore.Enabled = false;
    store_.WriteInteger("Type", 3);
    store_.WriteString("A", "b");
    store_.WriteBool("C", true);
    EXPECT_EQ(store_.ReadInteger("Type", 7), 7);
    EXPECT_EQ(store_.ReadString("A", "x"), "x");
    EXPECT_FALSE(store_.ReadBool("C", false));
    EXPECT_EQ(errors_, 0);
    EXPECT_FALSE(AnythingWritten());
}

TEST_P(StoreBackEnd, EmptySectionReportsOncePerOperationAndDoesNothingElse) {
    store_.DataStore.Section = "";
    store_.WriteString("A", "b");
    store_.WriteInteger("B", 1);
    store_.WriteBool("C", true);
    EXPECT_EQ(errors_, 3);
    EXPECT_EQ(store_.ReadString("A", "d"), "d");
    EXPECT_EQ(store_.ReadInteger("B", 9), 9);
    EXPECT_TRUE(store_.ReadBool("C", true));
    EXPECT_EQ(errors_, 6);
    EXPECT_FALSE(AnythingWritten());
}

TEST_P(StoreBackEnd, EmptyPathOrFileNameStopsSilently) {
    if (GetParam() == sRegistry)
        store_.DataStore.Registry.SetPath("");
    else
        store_.DataStore.Inifile.IniFilename = "";
    store_.WriteInteger("Type", 3);
    EXPECT_EQ(store_.ReadInteger("Type", 4), 4);
    EXPECT_EQ(store_.ReadString("X", ""), "");
    EXPECT_EQ(errors_, 0);
    EXPECT_FALSE(AnythingWritten());
}

TEST_P(StoreBackEnd, IntegerReadsFallBackOnBadTextAndReportDefaults) {
    store_.WriteString("Bad", "abc");
    store_.WriteString("Good", "12");
    EXPECT_EQ(store_.ReadInteger("Bad", 4), 4);
    EXPECT_EQ(errors_, 1);
    EXPECT_EQ(store_.ReadInteger("Good", 4), 12);
    EXPECT_EQ(errors_, 1);
    EXPECT_EQ(store_.ReadInteger("Good", 12), 12) << "a stored value equal to the default";
    EXPECT_EQ(errors_, 2);
    EXPECT_EQ(store_.ReadInteger("Missing", 0), 0);
    EXPECT_EQ(errors_, 3);
}

TEST_P(StoreBackEnd, BooleanReadsAreAnyNonZeroNumberAndNeverReport) {
    store_.WriteString("Two", "2");
    store_.WriteString("Zero", "0");
    store_.WriteString("Junk", "yes");
    EXPECT_TRUE(store_.ReadBool("Two", false));
    EXPECT_FALSE(store_.ReadBool("Zero", true));
    EXPECT_TRUE(store_.ReadBool("Missing", true));
    EXPECT_FALSE(store_.ReadBool("Missing", false));
    EXPECT_TRUE(store_.ReadBool("Junk", true));
    EXPECT_EQ(errors_, 0);
}

TEST_P(StoreBackEnd, StringReadOfAMissingValueReportsAndGivesTheDefault) {
    EXPECT_EQ(store_.ReadString("LastDirectory", ""), "");
    EXPECT_EQ(errors_, 1);
    EXPECT_FALSE(AnythingWritten()) << "a read creates nothing";
    store_.WriteString("LastDirectory", "/x/");
    EXPECT_EQ(store_.ReadString("LastDirectory", ""), "/x/");
    EXPECT_EQ(errors_, 1);
}

TEST_P(StoreBackEnd, CorruptFileStillGivesItsGoodValuesAndKeepsTheRestOnWrite) {
    const std::string file = StoreFile();
    fs::create_directories(fs::path(file).parent_path());
    const std::string section = store_.CurrentLocation().section;
    const std::string junk = std::string("\x01\xff\xfe garbage\n[unterminated\n=novalue\n[") + section +
                             "]\r\nType=3\r\nnot a key line\nLOG=\x80\x81\n";
    test::WriteFile(file, Bytes(junk.begin(), junk.end()));

    EXPECT_EQ(store_.ReadInteger("Type", 0), 3);
    EXPECT_FALSE(store_.ReadBool("LOG", false)) << "a malformed Boolean reads as its default";
    EXPECT_EQ(store_.ReadString("ImageDirectory", ""), "");

    store_.WriteString("ImageDirectory", "/d");
    EXPECT_EQ(store_.ReadString("ImageDirectory", ""), "/d");
    EXPECT_EQ(store_.ReadInteger("Type", 0), 3);
    const std::string text = FileText(file);
    EXPECT_NE(text.find("garbage"), std::string::npos);
    EXPECT_NE(text.find("not a key line"), std::string::npos);
}

TEST_P(StoreBackEnd, UnreadableOrUnwritableStoreThrowsForTheCallerToHandle) {
    fs::create_directories(StoreFile());  // a folder where the file should be
    EXPECT_THROW(store_.ReadString("A", ""), SettingsError);
    try {
        store_.WriteString("A", "b");
        FAIL() << "the write should have failed";
    } catch (const SettingsError& e) {
        EXPECT_NE(std::string(e.what()).find("Unable to write to " + StoreFile()), std::string::npos) << e.what();
    }
}

INSTANTIATE_TEST_SUITE_P(BothBackEnds, StoreBackEnd, ::testing::Values(sRegistry, sIniFile),
                         [](const auto& info) { return info.param == sRegistry ? "Registry" : "IniFile"; });

TEST(TynStoreData, RegistryKeepsOneFilePerRootWithFullKeyPathsAsSections) {
    TempDir temp;
    ScopedEnv env("XDG_CONFIG_HOME", temp.path().string());
    TTynStoreData machine, user;
    machine.DataStore.Section = user.DataStore.Section = "Data";
    machine.DataStore.Registry.Rootkey = hkeyLocalMachine;
    machine.DataStore.Registry.SetPath("Software/Morvane/Tarvex");
    user.DataStore.Registry.SetPath("Software/Morvane/Tarvex");
    machine.WriteInteger("Type", 3);
    user.WriteInteger("Type", 6);

    const fs::path folder = temp.path() / "tarvex" / "registry";
    EXPECT_EQ(FileText((folder / "HKEY_LOCAL_MACHINE.ini").string()), "[Software\\Morvane\\Tarvex\\Data]\nType=3\n");
    EXPECT_EQ(FileText((folder / "HKEY_CURRENT_USER.ini").string()), "[Software\\Morvane\\Tarvex\\Data]\nType=6\n");
    EXPECT_EQ(machine.ReadInteger("Type", 0), 3);
}

TEST(TynStoreData, IniFileWithoutAFolderLivesInTheConfigurationFolder) {
    TempDir temp;
    ScopedEnv env("XDG_CONFIG_HOME", temp.path().string());
    TTynStoreData store;
    store.DataStore.Datatype = sIniFile;
    store.DataStore.Section = "Data";
    store.WriteBool("LOG", true);
    EXPECT_EQ(FileText((temp.path() / "tarvex" / "MyFile.ini").string()), "[Data]\nLOG=1\n");

    store.DataStore.Inifile.IniFilename = temp / "elsewhere.ini";
    store.WriteBool("LOG", false);
    EXPECT_EQ(FileText(temp / "elsewhere.ini"), "[Data]\nLOG=0\n");
}

TEST(TynStoreData, ConfigurationFolderIgnoresARelativeXdgValue) {
    ScopedEnv home("HOME", "/home/someone");
    {
        ScopedEnv env("XDG_CONFIG_HOME", "relative/dir");
        EXPECT_EQ(ConfigFolder(), "/home/someone/.config/tarvex");
    }
    ScopedEnv env("XDG_CONFIG_HOME", "/cfg");
    EXPECT_EQ(ConfigFolder(), "/cfg/tarvex");
}

TEST(IniDocumentTest, NamesIgnoreCaseAndEditsKeepOtherSectionsInPlace) {
    IniDocument doc = IniDocument::Parse("; note\r\n[One]\r\nKey = a b \r\n\r\n[Two]\r\nkey=2\r\n");
    EXPECT_EQ(doc.Get("one", "KEY"), "a b");
    EXPECT_EQ(doc.Get("Two", "Key"), "2");
    EXPECT_FALSE(doc.Get("Three", "Key"));
    doc.Set("ONE", "Other", "x");
    doc.Set("two", "KEY", "3");
    doc.Set("Three", "k", "v");
    EXPECT_EQ(doc.Text(), "; note\n[One]\nKey = a b \nOther=x\n\n[Two]\nKEY=3\n\n[Three]\nk=v\n");
}

}  // namespace
}  // namespace tarvex
