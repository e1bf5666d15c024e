// The Secret Service backend. The Keyring tests run under run-with-keyring.sh
// (a private bus and keyring); the others run without a usable service.
#include <gio/gio.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include <gtest/gtest.h>

#include "secrets/secret_store.hpp"

namespace tovik {
namespace {

struct PipeClose {
    void operator()(FILE* pipe) const { ::pclose(pipe); }
};

// What `secret-tool` finds for the entry: proves the attributes and label that
// other programs see, not only what this backend reads back.
std::string secret_tool(const std::string& verb, const std::string& account) {
    const std::string command = "secret-tool " + verb + " service com.quillarex.offline account " + account + " 2>&1";
    std::unique_ptr<FILE, PipeClose> pipe(::popen(command.c_str(), "r"));
    std::string out;
    std::array<char, 256> buffer{};
    while (std::fgets(buffer.data(), buffer.size(), pipe.get())) out += buffer.data();
    return out;
}

class KeyringTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Never write test entries into somebody's real keyring.
        if (!std::getenv("TOVIK_TEST_KEYRING")) GTEST_SKIP() << "run through run-with-keyring.sh";
    }
    std::unique_ptr<SecretStore> store_ = make_service_secret_store();
};

TEST_F(KeyringTest, GetSetReplaceDelete) {
    EXPECT_EQ(store_->get("token"), std::nullopt);
    store_->set("token", "first");
    store_->set("token", "second");
    EXPECT_EQ(store_->get("token"), "second");
    EXPECT_EQ(secret_tool("lookup", "token"), "second");
    const std::string search = secret_tool("search --all", "token");
    EXPECT_NE(search.find("label = token.com.quillarex.offline"), std::string::npos) << search;
    EXPECT_EQ(search.find("[/", search.find("[/") + 1), std::string::npos) << "replaced, not added: " << search;

    store_->remove("token");
    EXPECT_EQ(store_->get("token"), std::nullopt);
    EXPECT_EQ(secret_tool("lookup", "token"), "");
    EXPECT_NO_THROW(store_->remove("token"));
}

TEST_F(KeyringTest, ValuesRoundTripExactly) {
    const std::string values[] = {"مفتاح سري للنسخ الاحتياطي", std::string("nul\0inside", 10), std::string(1280, 'k')};
    for (const auto& value : values) {
        store_->set("backup_key", value);
        EXPECT_EQ(store_->get("backup_key"), value);
        EXPECT_EQ(make_service_secret_store()->get("backup_key"), value);
    }
    EXPECT_EQ(secret_tool("lookup", "backup_key"), std::string(1280, 'k'));
}

TEST_F(KeyringTest, RefusedValueKeepsTheOldOne) {
    store_->set("pin_hash", "old");
    EXPECT_THROW(store_->set("pin_hash", std::string(1281, 'x')), SecretStoreError);
    EXPECT_EQ(store_->get("pin_hash"), "old");
}

// Drops every method call that reaches the connection, so callers never get a reply.
GDBusMessage* drop_method_calls(GDBusConnection*, GDBusMessage* message, gboolean incoming, gpointer) {
    if (incoming && g_dbus_message_get_message_type(message) == G_DBUS_MESSAGE_TYPE_METHOD_CALL) {
        g_object_unref(message);
        return nullptr;
    }
    return message;
}

TEST(UnansweredSecretService, CallsGiveUpWithAMessage) {
    GError* error = nullptr;
    std::unique_ptr<gchar, decltype(&g_free)> address(
        g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, &error), g_free);
    ASSERT_TRUE(address) << error->message;
    std::unique_ptr<GDBusConnection, decltype(&g_object_unref)> owner(
        g_dbus_connection_new_for_address_sync(
            address.get(),
            GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                 G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, nullptr, &error),
        g_object_unref);
    ASSERT_TRUE(owner) << error->message;
    g_dbus_connection_add_filter(owner.get(), drop_method_calls, nullptr, nullptr);
    std::unique_ptr<GVariant, decltype(&g_variant_unref)> reply(
        g_dbus_connection_call_sync(owner.get(), "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                    "org.freedesktop.DBus", "RequestName",
                                    g_variant_new("(su)", "org.freedesktop.secrets", 4u /* do not queue */),
                                    G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, -1, nullptr, &error),
        g_variant_unref);
    ASSERT_TRUE(reply) << error->message;

    auto store = make_service_secret_store(std::chrono::milliseconds(300));
    for (const auto& attempt : {+[](SecretStore& s) { (void)s.get("token"); },
                                +[](SecretStore& s) { s.set("token", "v"); },
                                +[](SecretStore& s) { s.remove("token"); }}) {
        try {
            attempt(*store);
            ADD_FAILURE() << "an unanswered call succeeded";
        } catch (const SecretStoreError& e) {
            EXPECT_STREQ(e.what(), "the Secret Service did not answer within 300 ms");
        }
    }
}

TEST(AbsentSecretService, FailsWithTheStoreMessage) {
    auto store = make_service_secret_store();
    try {
        store->set("token", "v");
        ADD_FAILURE() << "a store without a bus succeeded";
    } catch (const SecretStoreError& e) {
        EXPECT_NE(std::string(e.what()), "") << "the message is passed on";
        EXPECT_EQ(std::string(e.what()).find("did not answer"), std::string::npos) << e.what();
    }
}

}  // namespace
}  // namespace tovik
