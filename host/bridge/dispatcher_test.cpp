#include "bridge/command_args.hpp"
#include "bridge/dispatcher.hpp"

#include <future>
#include <vector>

#include <gtest/gtest.h>

namespace tovik {
namespace {

using nlohmann::json;

TEST(CommandArgs, DecodingFailuresUseTheBridgeTexts) {
    struct Case {
        json args;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {json::object(), "command db_select missing required key sql"},
        {{{"sql", "SELECT 1"}}, "command db_select missing required key params"},
        {{{"sql", "SELECT 1"}, {"params", nullptr}}, "command db_select missing required key params"},
        {{{"sql", "SELECT 1"}, {"params", json::object()}},
         "invalid args `params` for command `db_select`: invalid type: an object, expected an array"},
        {{{"sql", 5}, {"params", json::array()}},
         "invalid args `sql` for command `db_select`: invalid type: integer `5`, expected a string"},
        {json::array(), "command db_select missing required key sql"},
    };
    for (const auto& c : cases) {
        try {
            CommandArgs args("db_select", c.args);
            (void)args.required_string("sql");
            (void)args.required_array("params");
            ADD_FAILURE() << "no failure for " << c.args.dump();
        } catch (const CommandError& e) {
            EXPECT_EQ(e.what(), c.expected) << c.args.dump();
        }
    }
}

TEST(CommandArgs, PortIsAnOptionalUnsigned16BitInteger) {
    EXPECT_EQ(CommandArgs("printer_discover", json::object()).optional_u16("port", 9100), 9100);
    EXPECT_EQ(CommandArgs("printer_discover", {{"port", nullptr}}).optional_u16("port", 9100), 9100);
    EXPECT_EQ(CommandArgs("printer_discover", {{"port", 0}}).optional_u16("port", 9100), 0);
    EXPECT_EQ(CommandArgs("printer_discover", {{"port", 65535}}).optional_u16("port", 9100), 65535);
    for (const json& bad : {json(65536), json(-1), json(9100.5), json("9100"), json(true)}) {
        try {
            (void)CommandArgs("printer_discover", {{"port", bad}}).optional_u16("port", 9100);
            ADD_FAILURE() << "accepted " << bad.dump();
        } catch (const CommandError& e) {
            EXPECT_TRUE(std::string(e.what()).starts_with("invalid args `port` for command `printer_discover`: "))
                << e.what();
        }
    }
}

TEST(CommandTable, DuplicateNameIsAStartupError) {
    CommandTable table;
    table.add("db_open", CommandKind::immediate, [](const json&) { return json(); });
    EXPECT_THROW(table.add("db_open", CommandKind::immediate, [](const json&) { return json(); }), std::logic_error);
}

TEST(Dispatcher, RepliesOnceWithResultFailureOrUnknown) {
    TaskPool pool(1);
    CommandTable table;
    table.add("echo", CommandKind::immediate, [](const json& a) { return a; });
    table.add("fail", CommandKind::immediate, [](const json&) -> json { throw CommandError("it broke"); });
    Dispatcher dispatcher(std::move(table), pool, [](std::function<void()> f) { f(); });

    std::vector<CommandReply> replies;
    auto collect = [&](CommandReply r) { replies.push_back(std::move(r)); };
    dispatcher.dispatch("echo", {{"x", 1}}, collect);
    dispatcher.dispatch("fail", json::object(), collect);
    dispatcher.dispatch("printer_list", json::object(), collect);

    ASSERT_EQ(replies.size(), 3u);
    EXPECT_EQ(replies[0].status, CommandReply::Status::ok);
    EXPECT_EQ(replies[0].value, json({{"x", 1}}));
    EXPECT_EQ(replies[1].status, CommandReply::Status::failed);
    EXPECT_EQ(replies[1].value, "it broke");
    EXPECT_EQ(replies[2].status, CommandReply::Status::unknown_command);
}

TEST(Dispatcher, PartsGoToACallerThatTakesThemAheadOfTheReply) {
    TaskPool pool(1);
    CommandTable table;
    table.add_parted("rows", [](const json&, const PartFn& part) {
        if (!part) return CommandResult::from_json_text("[1,2]");
        part("[1]");
        return CommandResult::from_json_text("[2]");
    });
    Dispatcher dispatcher(std::move(table), pool, [](std::function<void()> f) { f(); });

    std::vector<std::string> heard;
    dispatcher.dispatch(
        "rows", json::object(), [&](CommandReply r) { heard.push_back("reply " + std::move(r).json_text()); },
        [&](std::string rows) { heard.push_back("part " + rows); });
    dispatcher.dispatch("rows", json::object(), [&](CommandReply r) { heard.push_back("whole " + std::move(r).json_text()); });
    EXPECT_EQ(heard, (std::vector<std::string>{"part [1]", "reply [2]", "whole [1,2]"}));
    EXPECT_EQ(dispatcher.call("rows", json::object()).value, json({1, 2}));
}

TEST(Dispatcher, BackgroundCommandDoesNotHoldUpImmediateOnes) {
    TaskPool pool(2);
    std::promise<void> release;
    auto released = release.get_future().share();
    CommandTable table;
    table.add("slow", CommandKind::background, [released](const json&) {
        released.wait();
        return json("slow done");
    });
    table.add("fast", CommandKind::immediate, [](const json&) { return json("fast done"); });

    std::mutex mutex;
    std::vector<std::string> order;
    std::promise<void> slow_replied;
    Dispatcher dispatcher(std::move(table), pool, [](std::function<void()> f) { f(); });
    dispatcher.dispatch("slow", json::object(), [&](CommandReply r) {
        std::lock_guard lock(mutex);
        order.push_back(r.value.get<std::string>());
        slow_replied.set_value();
    });
    dispatcher.dispatch("fast", json::object(), [&](CommandReply r) {
        std::lock_guard lock(mutex);
        order.push_back(r.value.get<std::string>());
    });
    release.set_value();
    slow_replied.get_future().wait();
    EXPECT_EQ(order, (std::vector<std::string>{"fast done", "slow done"}));
}

}  // namespace
}  // namespace tovik
