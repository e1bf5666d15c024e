#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "secrets/secret_commands.hpp"

namespace tovik {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

struct Reply {
    bool ok;
    json value;  // the result, or the failure message
};

Reply call(const CommandTable& table, const std::string& name, const json& args) {
    try {
        return {true, table.find(name)->handler(args, {}).value};
    } catch (const std::exception& e) {
        return {false, e.what()};
    }
}

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class FileSecretStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("tovik-secrets-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        file_ = dir_ / "sub" / "secrets.json";
        store_ = make_file_secret_store(file_);
        add_secret_commands(table_, *store_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    Reply get(const std::string& key) { return call(table_, "secret_get", {{"key", key}}); }
    Reply set(const std::string& key, const std::string& value) {
        return call(table_, "secret_set", {{"key", key}, {"value", value}});
    }
    Reply remove(const std::string& key) { return call(table_, "secret_delete", {{"key", key}}); }

    fs::path dir_;
    fs::path file_;
    std::unique_ptr<SecretStore> store_;
    CommandTable table_;
};

TEST_F(FileSecretStoreTest, GetSetReplaceDelete) {
    EXPECT_EQ(get("token").value, nullptr);
    EXPECT_FALSE(fs::exists(file_)) << "a read must not create the file";

    ASSERT_TRUE(set("token", "first").ok);
    ASSERT_TRUE(set("token", "second").ok);
    ASSERT_TRUE(set("pin_hash", "").ok);
    EXPECT_EQ(get("token").value, "second");
    EXPECT_EQ(get("pin_hash").value, "");
    EXPECT_EQ(json::parse(read_file(file_)), (json{{"pin_hash", ""}, {"token", "second"}}));

    EXPECT_EQ(remove("token").value, nullptr);
    EXPECT_EQ(get("token").value, nullptr);
    EXPECT_EQ(get("pin_hash").value, "");
    const Reply absent = remove("never-written");
    EXPECT_TRUE(absent.ok);
    EXPECT_EQ(absent.value, nullptr);
}

TEST_F(FileSecretStoreTest, NonAsciiValuesRoundTrip) {
    const std::string values[] = {"مفتاح سري للنسخ الاحتياطي", "a\u00e9\U0001F511z", std::string("nul\0inside", 10)};
    for (const auto& value : values) {
        ASSERT_TRUE(set("backup_key", value).ok);
        EXPECT_EQ(get("backup_key").value, value);
        // A second store over the same file reads what the first wrote.
        EXPECT_EQ(make_file_secret_store(file_)->get("backup_key"), value);
    }
}

TEST_F(FileSecretStoreTest, FileIsPrivateAndReplacedWhole) {
    ASSERT_TRUE(set("token", "t").ok);
    struct stat info {};
    ASSERT_EQ(::stat(file_.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    ASSERT_TRUE(set("token", "u").ok);
    // Only the file itself is left: no temporary files beside it.
    EXPECT_EQ(std::distance(fs::directory_iterator(file_.parent_path()), fs::directory_iterator()), 1);
}

TEST_F(FileSecretStoreTest, CorruptFileIsAnErrorAndIsKept) {
    const std::string corrupt_texts[] = {"{\"token\": \"abc\"", "[]", "{\"token\": 5}", ""};
    for (const auto& text : corrupt_texts) {
        fs::create_directories(file_.parent_path());
        std::ofstream(file_, std::ios::binary) << text;
        for (const Reply& reply : {get("token"), set("other", "x"), remove("token")}) {
            EXPECT_FALSE(reply.ok) << text;
            EXPECT_NE(reply.value.get<std::string>().find("is corrupt"), std::string::npos) << reply.value;
        }
        EXPECT_EQ(read_file(file_), text) << "a corrupt file must never be overwritten";
    }
}

TEST_F(FileSecretStoreTest, ValueLimitCountsUtf16Units) {
    const std::string clef = "\U0001D11E";  // outside the BMP: two UTF-16 units
    struct Case {
        std::string value;
        bool accepted;
    };
    const Case cases[] = {
        {std::string(1280, 'a'), true},
        {std::string(1281, 'a'), false},
        {std::string(1278, 'a') + clef, true},
        {std::string(1279, 'a') + clef, false},
        {[&] {
             std::string s;
             for (int i = 0; i < 640; ++i) s += clef;
             return s;
         }(),
         true},
        {[] {
             std::string s;
             for (int i = 0; i < 1281; ++i) s += "\u0628";  // two UTF-8 bytes, one unit
             return s;
         }(),
         false},
        {"bad \xC3( utf-8", false},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(set("token", "old").ok);
        const Reply reply = set("token", c.value);
        EXPECT_EQ(reply.ok, c.accepted) << c.value.size() << " bytes: " << reply.value;
        EXPECT_EQ(get("token").value, c.accepted ? c.value : "old");
    }
    EXPECT_EQ(set("token", std::string(1281, 'a')).value,
              "secret value is longer than 1280 UTF-16 code units (1281)");
}

TEST_F(FileSecretStoreTest, NameLimits) {
    EXPECT_TRUE(set(std::string(512, 'n'), "v").ok);
    EXPECT_TRUE(set(std::string(511, 'n') + "\u0628", "v").ok) << "512 units in 513 bytes";
    const std::pair<std::string, std::string> refused[] = {
        {std::string(513, 'n'), "secret name is longer than 512 characters"},
        {std::string("token\0x", 7), "secret name contains a NUL character"},
        {"bad\xFF", "secret name is not valid UTF-8"},
    };
    for (const auto& [name, message] : refused) {
        EXPECT_EQ(set(name, "v").value, message);
        EXPECT_EQ(get(name).value, message);
        EXPECT_EQ(remove(name).value, message);
    }
    EXPECT_EQ(get("token").value, nullptr) << "a name with a NUL must not reach the entry before it";
}

TEST_F(FileSecretStoreTest, DatabaseKeyIsOutOfThePagesReach) {
    store_->set("db-key", "the key");
    const std::string message = "db-key is kept by the host and is not available to the page";
    EXPECT_EQ(get("db-key").value, message);
    EXPECT_EQ(set("db-key", "another").value, message);
    EXPECT_EQ(remove("db-key").value, message);
    EXPECT_EQ(store_->get("db-key"), "the key");
    EXPECT_EQ(get("DB-KEY").value, nullptr) << "names are exact: only the host's entry is reserved";
}

TEST_F(FileSecretStoreTest, ArgumentDecoding) {
    EXPECT_EQ(call(table_, "secret_get", json::object()).value, "command secret_get missing required key key");
    EXPECT_EQ(call(table_, "secret_set", {{"key", "k"}}).value, "command secret_set missing required key value");
    EXPECT_EQ(call(table_, "secret_delete", {{"key", 7}}).value,
              "invalid args `key` for command `secret_delete`: invalid type: integer `7`, expected a string");
}

}  // namespace
}  // namespace tovik
