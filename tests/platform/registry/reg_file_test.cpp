// The registry-export reader: encodings, value syntax, and how bad files are reported.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "platform/registry/encoding.h"
#include "platform/registry/reg_file.h"
#include "platform/registry/linux/system_registry.h"
#include "platform/registry/registry.h"
#include "tests/support/scratch_dir.h"

using namespace platform;

namespace {

const std::string kFixtures = std::string(VANTREL_FIXTURES_DIR) + "/registry/";

std::unique_ptr<RegistryKey> load(const std::string& file) {
    std::ostringstream diagnostics;
    auto key = loadRegFile(kFixtures + file, diagnostics);
    EXPECT_EQ(diagnostics.str(), "") << file;
    return key;
}

std::unique_ptr<RegistryKey> parse(const std::string& text) { return parseRegFile(text); }

// Every key and value of a tree, one line each, so whole trees can be compared.
void dump(const RegistryKey& key, const std::string& path, std::string& out) {
    for (const auto& v : key.values()) {
        out += path + " [" + v.name + "] " + std::to_string(v.type) + ":";
        for (auto b : v.data) {
            static const char* digits = "0123456789abcdef";
            out += digits[b >> 4];
            out += digits[b & 15];
        }
        out += "\n";
    }
    for (const auto& k : key.subkeys()) {
        out += path + "\\" + k->name() + "\n";
        dump(*k, path + "\\" + k->name(), out);
    }
}

std::string dump(const RegistryKey& key) {
    std::string out;
    dump(key, "HKLM", out);
    return out;
}

std::string bytes(const RegistryValue* v) {
    return v ? std::string(v->data.begin(), v->data.end()) : "<missing>";
}

const RegistryKey& at(const RegistryKey& root, std::initializer_list<const char*> names) {
    const RegistryKey* key = &root;
    for (auto n : names) {
        key = key->findSubkey(n);
        if (!key) throw std::runtime_error(std::string("no key ") + n);
    }
    return *key;
}

}  // namespace

TEST(RegFileEncodings, Utf16Utf8AndLatin1FilesGiveTheSameHive) {
    const auto utf16 = load("hive_utf16le.reg");
    const auto utf8 = load("hive_utf8.reg");
    const auto latin1 = load("hive_regedit4_latin1.reg");
    ASSERT_FALSE(utf16->subkeys().empty());
    EXPECT_EQ(dump(*utf16), dump(*utf8));
    EXPECT_EQ(dump(*utf16), dump(*latin1));
}

TEST(RegFileEncodings, EightBitTextBecomesUtf8AndValidUtf8PassesThrough) {
    EXPECT_EQ(utf8FromLocal8Bit("Caf\xe9 \x80 \x93q\x94"), "Café € “q”");
    EXPECT_EQ(utf8FromLocal8Bit("\x81"), "\u0081");  // a hole of 1252 keeps its Latin-1 meaning
    EXPECT_EQ(utf8FromLocal8Bit("déjà \xe9"), "déjà é");
    EXPECT_EQ(utf8FromLocal8Bit("\xed\xa0\x80"), "í\u00a0€");  // an encoded surrogate is not UTF-8
}

TEST(RegFileEncodings, Utf16PairsAndLoneSurrogates) {
    EXPECT_EQ(utf8FromUtf16le(std::string("\x3d\xd8\x00\xde", 4)), "\U0001F600");
    EXPECT_EQ(utf8FromUtf16le(std::string("\x00\xd8\x41\x00", 4)), "\uFFFDA");
    EXPECT_EQ(utf8FromUtf16le(std::string("A\0\0\0B", 5)), std::string("A\0", 2));
}

TEST(RegFileEncodings, Utf8FileWithByteOrderMark) {
    const auto hive = parse("\xEF\xBB\xBFWindows Registry Editor Version 5.00\n[HKEY_LOCAL_MACHINE\\A]\n\"x\"=\"é\"\n");
    EXPECT_EQ(bytes(at(*hive, {"A"}).findValue("x")), std::string("é\0", 3));
}

TEST(RegFileValues, FixtureValuesKeepTheirTypesAndBytes) {
    const auto hive = load("hive_utf16le.reg");
    const RegistryKey& v = at(*hive, {"SOFTWARE", "Vantrel"});

    EXPECT_EQ(bytes(v.findValue("FilePath")), std::string("C:\\Program Files\\Vantrel\\\0", 26));
    EXPECT_EQ(bytes(v.findValue("Quote")), std::string("say \"hi\" to C:\\temp\0", 20));
    EXPECT_EQ(bytes(v.findValue("Owner")), std::string("Café Müller – “quoted”") + '\0');
    EXPECT_EQ(v.findValue("Owner")->type, REG_SZ);

    const RegistryValue* answer = v.findValue("Answer");
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer->type, REG_DWORD);
    EXPECT_EQ(answer->data, (std::vector<std::uint8_t>{0x2a, 0, 0, 0}));

    const RegistryValue* expand = v.findValue("Expand");
    ASSERT_NE(expand, nullptr);
    EXPECT_EQ(expand->type, REG_EXPAND_SZ);
    EXPECT_EQ(bytes(expand), std::string("%SystemRoot%\\système32") + '\0');

    EXPECT_EQ(v.findValue("Multi")->type, REG_MULTI_SZ);
    EXPECT_EQ(bytes(v.findValue("Multi")), std::string("one\0deux é\0\0", 13));
    EXPECT_EQ(v.findValue("Blob")->type, REG_BINARY);
    EXPECT_EQ(v.findValue("Blob")->data, (std::vector<std::uint8_t>{0xde, 0xad, 0xbe, 0xef}));
    EXPECT_EQ(v.findValue("Big")->type, REG_QWORD);
    EXPECT_EQ(v.findValue("Big")->data, (std::vector<std::uint8_t>{0x88, 0x77, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11}));

    const RegistryValue* longer = v.findValue("Long");  // continued over two lines
    ASSERT_NE(longer, nullptr);
    ASSERT_EQ(longer->data.size(), 40u);
    for (std::size_t i = 0; i < 40; ++i) EXPECT_EQ(longer->data[i], i);
    EXPECT_TRUE(v.findValue("Empty")->data.empty());
    EXPECT_EQ(bytes(v.findValue("")), std::string("default text\0", 13));
    EXPECT_EQ(v.findValue("Gone"), nullptr);
}

TEST(RegFileValues, KeysMergeRegardlessOfCaseAndOtherRootsAreDropped) {
    const auto hive = load("hive_utf8.reg");
    ASSERT_EQ(hive->subkeys().size(), 1u);  // SOFTWARE only: HKEY_CURRENT_USER is not kept
    const RegistryKey& software = at(*hive, {"software"});
    EXPECT_EQ(software.name(), "SOFTWARE");
    EXPECT_EQ(software.findSubkey("Obsolete"), nullptr);  // removed by its [-...] section
    const RegistryKey& vantrel = at(*hive, {"SOFTWARE", "VANTREL"});
    EXPECT_EQ(vantrel.name(), "Vantrel");
    ASSERT_EQ(vantrel.subkeys().size(), 1u);
    EXPECT_EQ(vantrel.subkeys()[0]->name(), "Clés");
    EXPECT_NE(vantrel.findSubkey("CLÉS"), nullptr);
}

TEST(RegFileValues, EscapesContinuationsAndRedefinitions) {
    const auto hive = parse(
        "REGEDIT4\r\n"
        "[HKEY_LOCAL_MACHINE\\K]\r\n"
        "\"Dir\"=\"C:\\\\\"\r\n"  // ends in an escaped backslash: not a continuation
        "\"Next\"=\"n\"\r\n"
        "\"Back\\\\slash \\\"name\\\"\"=\"v\"\r\n"
        "\"Loose\"=\"a\\b\"\r\n"  // an unknown escape keeps its backslash
        "\"Bin\"=hex:01,\\\r\n"
        "    02,\\\r\n"
        "  03\r\n"
        "\"Text\"=hex(1):41,42,00\r\n"
        "\"type\"=hex(1234):ff\r\n"
        "\"Twice\"=\"first\"\r\n"
        "\"TWICE\"=dword:7\r\n"
        "@=\"d\"\r\n"
        "@=-\r\n");
    const RegistryKey& k = at(*hive, {"K"});
    EXPECT_EQ(bytes(k.findValue("Dir")), std::string("C:\\\0", 4));
    EXPECT_EQ(bytes(k.findValue("Next")), std::string("n\0", 2));
    EXPECT_EQ(bytes(k.findValue("Back\\slash \"name\"")), std::string("v\0", 2));
    EXPECT_EQ(bytes(k.findValue("Loose")), std::string("a\\b\0", 4));
    EXPECT_EQ(k.findValue("Bin")->data, (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_EQ(k.findValue("Text")->type, REG_SZ);
    EXPECT_EQ(bytes(k.findValue("Text")), std::string("AB\0", 3));  // 8-bit bytes in REGEDIT4
    EXPECT_EQ(k.findValue("TYPE")->type, 0x1234u);
    const RegistryValue* twice = k.findValue("twice");
    ASSERT_NE(twice, nullptr);
    EXPECT_EQ(twice->name, "Twice");
    EXPECT_EQ(twice->type, REG_DWORD);
    EXPECT_EQ(twice->data, (std::vector<std::uint8_t>{7, 0, 0, 0}));
    EXPECT_EQ(k.findValue(""), nullptr);
}

TEST(RegFileValues, DeletingAKeyTakesItsSubtreeAndLaterValues) {
    const auto hive = parse(
        "Windows Registry Editor Version 5.00\n"
        "[HKEY_LOCAL_MACHINE\\A\\B\\C]\n\"x\"=\"1\"\n"
        "[HKEY_LOCAL_MACHINE\\A\\Keep]\n"
        "[-HKEY_LOCAL_MACHINE\\a\\b]\n\"y\"=\"2\"\n"
        "[-HKEY_LOCAL_MACHINE\\Never\\There]\n");
    const RegistryKey& a = at(*hive, {"A"});
    ASSERT_EQ(a.subkeys().size(), 1u);
    EXPECT_EQ(a.subkeys()[0]->name(), "Keep");
    EXPECT_TRUE(a.values().empty());
}

struct BadFile {
    const char* text;
    int line;
    const char* what;  // part of the message
};

class RegFileErrors : public testing::TestWithParam<BadFile> {};

TEST_P(RegFileErrors, NameTheLineAndTheFault) {
    const BadFile& bad = GetParam();
    try {
        parse(bad.text);
        FAIL() << "parsed: " << bad.text;
    } catch (const RegFileError& e) {
        EXPECT_EQ(e.line(), bad.line) << e.what();
        EXPECT_NE(std::string(e.what()).find(bad.what), std::string::npos) << e.what();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Malformed, RegFileErrors,
    testing::Values(
        BadFile{"", 1, "empty"},
        BadFile{"\n\nWindows Registry Editor Version 4.00\n", 3, "header"},
        BadFile{"REGEDIT4\n\"x\"=\"y\"\n", 2, "before the first key"},
        BadFile{"REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\nx=y\n", 3, "expected a key"},
        BadFile{"REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"x\"=\"open\n\"y\"=\"z\"\n", 3, "closing quote"},
        BadFile{"REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"x\"=\"a\" b\n", 3, "after the closing quote"},
        BadFile{"REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"x\" \"a\"\n", 3, "'='"},
        BadFile{"REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"x\"=dword:\n", 3, "dword"},
        BadFile{"REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"x\"=dword:12g4\n", 3, "dword"},
        BadFile{"REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\n\"x\"=hex:01,\\\n  zz\n", 4, "zz"},
        BadFile{"REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"x\"=hex:01,,02\n", 3, "hexadecimal"},
        BadFile{"REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"x\"=hex(q):01\n", 3, "hex(type)"},
        BadFile{"REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"x\"=str:\"a\"\n", 3, "unknown value data"},
        BadFile{"REGEDIT4\n[HKEY_LOCAL_MACHINE\\A\n", 2, "']'"},
        BadFile{"REGEDIT4\n[HKEY_LOCAL_MACHINE\\A\\\\B]\n", 2, "empty key name"},
        BadFile{"REGEDIT4\n[HKEY_SOMEWHERE\\A]\n", 2, "unknown root key"}));

TEST(RegFileLoading, ABrokenLineIsReportedAndSkippedAndTheRestKept) {
    std::ostringstream diagnostics;
    const auto hive = loadRegFile(kFixtures + "malformed.reg", diagnostics);
    const auto* key = hive->findSubkey("SOFTWARE");
    ASSERT_NE(key, nullptr);
    key = key->findSubkey("Vantrel");
    ASSERT_NE(key, nullptr);
    ASSERT_NE(key->findValue("ServerPath"), nullptr);
    EXPECT_EQ(key->findValue("Answer"), nullptr);
    EXPECT_NE(diagnostics.str().find(kFixtures + "malformed.reg:5: "), std::string::npos) << diagnostics.str();
    EXPECT_NE(diagnostics.str().find("dword"), std::string::npos) << diagnostics.str();
}

TEST(RegFileLoading, ValuesAfterABrokenKeyLineGoNowhereAndLaterKeysAreRead) {
    ScratchDir dir;
    const std::string path = (dir.path() / "broken.reg").string();
    std::ofstream(path, std::ios::binary) << "Windows Registry Editor Version 5.00\r\n\r\n"
                                             "[HKEY_LOCAL_MACHINE\\A]\r\n\"a\"=\"1\"\r\n"
                                             "[HKEY_LOCAL_MACHINE\\B\r\n\"lost\"=\"2\"\r\n"
                                             "garbage \x01\xff\r\n\"bad\"=dword:zz\r\n"
                                             "[HKEY_LOCAL_MACHINE\\C]\r\n\"c\"=dword:00000003\r\n";
    std::ostringstream diagnostics;
    const auto hive = loadRegFile(path, diagnostics);
    ASSERT_NE(hive->findSubkey("A"), nullptr);
    EXPECT_NE(hive->findSubkey("A")->findValue("a"), nullptr);
    EXPECT_EQ(hive->findSubkey("A")->findValue("lost"), nullptr);
    EXPECT_EQ(hive->findSubkey("B"), nullptr);
    ASSERT_NE(hive->findSubkey("C"), nullptr);
    EXPECT_NE(hive->findSubkey("C")->findValue("c"), nullptr);
    for (const char* line : {":5: ", ":7: ", ":8: "})
        EXPECT_NE(diagnostics.str().find(path + line), std::string::npos) << line << diagnostics.str();
}

TEST(RegFileLoading, AFileWithoutTheHeaderIsIgnoredWhole) {
    ScratchDir dir;
    const std::string path = (dir.path() / "noheader.reg").string();
    std::ofstream(path, std::ios::binary) << "[HKEY_LOCAL_MACHINE\\A]\n\"a\"=\"1\"\n";
    std::ostringstream diagnostics;
    EXPECT_TRUE(loadRegFile(path, diagnostics)->subkeys().empty());
    EXPECT_NE(diagnostics.str().find(path + ":1: "), std::string::npos) << diagnostics.str();
}

TEST(RegFileLoading, AMissingFileIsSilentlyEmptyButAnUnreadableOneIsReported) {
    ScratchDir dir;
    std::ostringstream quiet;
    EXPECT_TRUE(loadRegFile((dir.path() / "none.reg").string(), quiet)->subkeys().empty());
    EXPECT_TRUE(loadRegFile((dir.path() / "no" / "such.reg").string(), quiet)->subkeys().empty());
    EXPECT_EQ(quiet.str(), "");

    std::ostringstream loud;
    EXPECT_TRUE(loadRegFile(dir.path().string(), loud)->subkeys().empty());  // a folder
    EXPECT_NE(loud.str().find(dir.path().string()), std::string::npos) << loud.str();
}
