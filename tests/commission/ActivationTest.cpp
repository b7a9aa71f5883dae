// Generated first passwords (the rule met, only the readable alphabet,
// different every time) and the secret file that is their only copy (owner
// only, never overwriting, exactly the devices that got one).
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

#include "Activation.h"
#include "Csv.h"
#include "TrustWire.h"

using namespace commission;

namespace {

class TempDir {
public:
    TempDir() {
        char name[] = "/tmp/activation-test-XXXXXX";
        m_path = mkdtemp(name);
    }
    ~TempDir() {
        for (const std::string& f : m_files)
            ::unlink(f.c_str());
        ::rmdir(m_path.c_str());
    }
    std::string File(const std::string& name) {
        m_files.push_back(m_path + "/" + name);
        return m_files.back();
    }

private:
    std::string m_path;
    std::vector<std::string> m_files;
};

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

SEARCH_INFO Record(const char* mac, const char* name, int32_t activated) {
    SEARCH_INFO r{};
    std::strcpy(r.mac, mac);
    std::strcpy(r.devName, name);
    std::strcpy(r.productSeries, "ZVK_IPC");
    std::strcpy(r.ipAddr, "192.168.1.64");
    std::strcpy(r.mask, "255.255.255.0");
    std::strcpy(r.route, "192.168.1.1");
    r.deviceActivated = activated;
    return r;
}

} // namespace

TEST(ActivationTest, GeneratedPasswordsMeetTheRuleInTheAlphabetAndDiffer) {
    const std::string alphabet = kGeneratedPasswordAlphabet;
    for (const char* lookalike : {"0", "O", "o", "1", "l", "I", "i", "5", "S", "8", "B", "Z", "2"})
        EXPECT_EQ(alphabet.find(lookalike), std::string::npos) << lookalike;
    std::set<std::string> seen;
    std::set<char> used;
    for (int i = 0; i < 500; ++i) {
        const std::string p = GeneratePassword("00:11:22:33:44:55", "Camera");
        ASSERT_EQ(p.size(), kGeneratedPasswordLength);
        EXPECT_EQ(p.find_first_not_of(alphabet), std::string::npos) << p;
        EXPECT_EQ(lorvex::trust::CheckPasswordStrength(p, "00:11:22:33:44:55", "Camera"),
                  lorvex::trust::PASSWORD_OK)
            << p;
        EXPECT_NE(p.find_first_of("abcdefghijklmnopqrstuvwxyz"), std::string::npos) << p;
        EXPECT_NE(p.find_first_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ"), std::string::npos) << p;
        EXPECT_NE(p.find_first_of("0123456789"), std::string::npos) << p;
        seen.insert(p);
        used.insert(p.begin(), p.end());
    }
    EXPECT_EQ(seen.size(), 500u);
    // Every character of the alphabet turns up: the draw covers all of it.
    EXPECT_EQ(used.size(), alphabet.size());
}

TEST(ActivationTest, PlanKeepsAddressesAndOnlyNotActivatedDevicesGetPasswords) {
    const std::vector<SEARCH_INFO> selected = {Record("00:00:00:00:00:01", "a", 1),
                                               Record("00:00:00:00:00:02", "b", 0),
                                               Record("00:00:00:00:00:03", "c", 1)};
    std::vector<PlanEntry> plan = ActivationPlan(selected);
    ASSERT_EQ(plan.size(), 3u);
    EXPECT_EQ(plan[1].ip, "192.168.1.64");
    EXPECT_EQ(plan[1].gateway, "192.168.1.1");
    std::vector<bool> needs;
    for (const SEARCH_INFO& r : selected)
        needs.push_back(NeedsActivation(r));
    EXPECT_EQ(needs, (std::vector<bool>{true, false, true}));
    ASSERT_TRUE(GeneratePasswords(&plan, needs));
    EXPECT_FALSE(plan[0].password.empty());
    EXPECT_TRUE(plan[1].password.empty());
    EXPECT_NE(plan[0].password, plan[2].password);
}

TEST(ActivationTest, SecretFileIsOwnerOnlyHoldsEachPasswordAndNeverOverwrites) {
    TempDir dir;
    std::vector<PlanEntry> plan = ActivationPlan(
        {Record("00:00:00:00:00:01", "=cmd|' /c calc'!A1", 1), Record("00:00:00:00:00:02", "b", 0),
         Record("00:00:00:00:00:03", "Hall, north", 1)});
    ASSERT_TRUE(GeneratePasswords(&plan, {true, false, true}));
    const std::string path = dir.File("passwords.csv");
    const mode_t oldMask = ::umask(0);
    std::string error;
    const bool written = WriteSecretPasswordsFile(path, plan, &error);
    ::umask(oldMask);
    ASSERT_TRUE(written) << error;
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    std::vector<CsvRecord> records;
    CsvError csvError;
    ASSERT_TRUE(ReadCsv(ReadAll(path), &records, &csvError)) << csvError.message;
    ASSERT_EQ(records.size(), 3u); // header, the two not activated devices
    EXPECT_EQ(records[0].fields,
              (std::vector<std::string>{"mac", "devName", "productSeries", "ipAddr", "password"}));
    EXPECT_EQ(records[1].fields[0], "00:00:00:00:00:01");
    EXPECT_EQ(records[1].fields[1], "'=cmd|' /c calc'!A1"); // neutralised, not run
    EXPECT_EQ(records[1].fields[4], plan[0].password);
    EXPECT_EQ(records[2].fields[1], "Hall, north");
    EXPECT_EQ(records[2].fields[4], plan[2].password);

    // A second write to the same name, or through a link, leaves the file as it was.
    const std::string before = ReadAll(path);
    EXPECT_FALSE(WriteSecretPasswordsFile(path, plan, &error));
    EXPECT_NE(error.find("exists"), std::string::npos) << error;
    EXPECT_EQ(ReadAll(path), before);
    const std::string link = dir.File("link.csv");
    const std::string target = dir.File("target.csv");
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
    EXPECT_FALSE(WriteSecretPasswordsFile(link, plan, &error));
    EXPECT_NE(::access(target.c_str(), F_OK), 0);
    EXPECT_FALSE(WriteSecretPasswordsFile(dir.File("missing/x.csv"), plan, &error));
}
