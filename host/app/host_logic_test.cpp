#include <fstream>
#include <set>

#include <gtest/gtest.h>

#include "bridge/command_error.hpp"
#include "app/content_security_policy.hpp"
#include "app/download_naming.hpp"
#include "app/file_access.hpp"
#include "app/options.hpp"
#include "app/serve_gate.hpp"

namespace tovik {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

class TempFolder {
public:
    TempFolder() : path_(fs::temp_directory_path() / ("tovik-test-" + random_bridge_token())) {
        fs::create_directories(path_);
    }
    ~TempFolder() { fs::remove_all(path_); }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

void touch(const fs::path& path) { std::ofstream(path) << "x"; }

TEST(ContentSecurityPolicy, FixedDirectivesThenConnectSources) {
    EXPECT_EQ(content_security_policy("http://127.0.0.1:5000", "http://127.0.0.1:5000"),
              "default-src 'self'; script-src 'self' 'wasm-unsafe-eval'; style-src 'self' 'unsafe-inline'; "
              "img-src 'self' data:; connect-src http://127.0.0.1:5000 https: http://localhost:* "
              "http://127.0.0.1:*");
    EXPECT_EQ(content_security_policy("tovik://app", "ipc:"),
              "default-src 'self'; script-src 'self' 'wasm-unsafe-eval'; style-src 'self' 'unsafe-inline'; "
              "img-src 'self' data:; connect-src tovik://app ipc: https: http://localhost:* http://127.0.0.1:*");
}

TEST(DownloadNaming, FileNameIsTheFinalComponentOrDownload) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"report.pdf", "report.pdf"},      {"a/b/report.pdf", "report.pdf"}, {"C:\\x\\y.csv", "y.csv"},
        {"", "download"},                  {"folder/", "download"},          {"..", "download"},
        {"تقرير اليوم.pdf", "تقرير اليوم.pdf"},
    };
    for (const auto& [suggested, expected] : cases) EXPECT_EQ(download_file_name(suggested), expected) << suggested;
}

TEST(DownloadNaming, TakenNamesGetNumberedBeforeTheExtension) {
    TempFolder folder;
    touch(folder.path() / "report.pdf");
    touch(folder.path() / "notes");
    touch(folder.path() / "notes (2)");

    // Two downloads in flight at once must not pick the same name.
    std::set<fs::path> reserved;
    auto taken = [&](const fs::path& p) { return file_exists(p) || reserved.contains(p); };
    const auto first = free_download_path(folder.path(), "report.pdf", taken);
    reserved.insert(first);
    const auto second = free_download_path(folder.path(), "report.pdf", taken);
    EXPECT_EQ(first.filename(), "report (2).pdf");
    EXPECT_EQ(second.filename(), "report (3).pdf");

    EXPECT_EQ(free_download_path(folder.path(), "notes").filename(), "notes (3)");
    EXPECT_EQ(free_download_path(folder.path(), "fresh.csv").filename(), "fresh.csv");
}

TEST(FileAccess, DocumentsAreWrittenInsideTheFolderOnly) {
    TempFolder documents;
    const auto written = write_document(documents.path(), "TOVIK pro/backups/day.bin", std::string("\0\1\2", 3), true);
    EXPECT_EQ(written, documents.path() / "TOVIK pro/backups/day.bin");
    EXPECT_EQ(fs::file_size(written), 3u);

    EXPECT_THROW(write_document(documents.path(), "new/only.txt", "x", false), std::runtime_error);
    EXPECT_THROW(write_document(documents.path(), "../escape.txt", "x", true), std::runtime_error);
    EXPECT_THROW(write_document(documents.path(), "/etc/escape.txt", "x", true), std::runtime_error);
    EXPECT_FALSE(fs::exists(documents.path().parent_path() / "escape.txt"));
}

TEST(FileAccess, PageReachesTheChosenFileAndTheDocumentsFolderOnly) {
    TempFolder root;
    const fs::path documents = root.path() / "Documents";
    fs::create_directories(documents / "sub");
    fs::create_directory_symlink(root.path(), documents / "link-out");
    PagePaths paths(documents);
    const fs::path chosen = root.path() / "Desktop" / "report.pdf";

    const fs::path allowed[] = {documents / "a.pdf", documents / "sub" / "new" / "b.pdf", documents / "sub/../c.pdf"};
    for (const auto& path : allowed) EXPECT_NO_THROW(paths.check(path)) << path;
    const fs::path refused[] = {
        chosen,  // not chosen yet
        documents,
        documents / ".." / "escape.pdf",
        documents / "link-out" / "escape.pdf",
        root.path() / ".config" / "autostart" / "run.desktop",
        "relative.pdf",
    };
    for (const auto& path : refused) EXPECT_THROW(paths.check(path), std::runtime_error) << path;

    paths.chosen(chosen);
    EXPECT_NO_THROW(paths.check(chosen));
    EXPECT_THROW(paths.check(chosen.parent_path() / "other.pdf"), std::runtime_error);
    paths.chosen(root.path() / "next.pdf");
    EXPECT_THROW(paths.check(chosen), std::runtime_error) << "a later choice replaces the earlier one";
}

TEST(Options, FlagsAndErrors) {
    const auto options = parse_options({"--serve", "--port", "8123", "--token=abc", "--data-dir", "/tmp/d",
                                        "--secret-store", "file"});
    EXPECT_TRUE(options.serve);
    EXPECT_EQ(options.port, 8123);
    EXPECT_EQ(options.token, "abc");
    EXPECT_EQ(options.data_dir, fs::path("/tmp/d"));
    EXPECT_EQ(options.secret_backend, SecretBackend::file);

    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
             {"--port", "70000"}, {"--port", "12x"}, {"--port"}, {"--secret-store", "disk"}, {"--frobnicate"},
             {"--token="}})
        EXPECT_THROW((void)parse_options(bad), std::invalid_argument) << bad[0];
}

class ServeGateTest : public ::testing::Test {
protected:
    ServeGateTest()
        : gate_("secret-token", "http://127.0.0.1:4000"),
          dispatcher_(make_table(), pool_, [](std::function<void()> f) { f(); }) {}

    static CommandTable make_table() {
        CommandTable table;
        table.add("echo", CommandKind::immediate, [](const json& args) { return args; });
        table.add("fail", CommandKind::immediate, [](const json&) -> json { throw CommandError("broken \xff"); });
        return table;
    }

    HttpReply post(IpcRequest request) {
        HttpReply result{0, "", ""};
        handle_ipc(gate_, dispatcher_, request, [&](HttpReply r) { result = std::move(r); });
        return result;
    }

    TaskPool pool_{1};
    ServeGate gate_;
    Dispatcher dispatcher_;
};

TEST_F(ServeGateTest, StatusCodes) {
    struct Case {
        IpcRequest request;
        int status;
        std::string body;
    };
    const std::string token = "secret-token";
    const std::vector<Case> cases = {
        {{"echo", token, std::nullopt, R"({"a":[1,2]})"}, 200, R"({"a":[1,2]})"},
        {{"echo", token, "http://127.0.0.1:4000", ""}, 200, "{}"},
        {{"fail", token, std::nullopt, "{}"}, 400, "\"broken \xef\xbf\xbd\""},
        {{"nope", token, std::nullopt, "{}"}, 404, "\"command nope not found\""},
        {{"echo", std::nullopt, std::nullopt, "{}"}, 403, ""},
        {{"echo", "secret-tokeN", std::nullopt, "{}"}, 403, ""},
        {{"echo", token, "http://evil.example", "{}"}, 403, ""},
        {{"echo", token, "http://127.0.0.1:4001", "{}"}, 403, ""},
        {{"echo", token, std::nullopt, "{not json"}, 400, ""},
        {{"echo", token, std::nullopt, R"({"params":[1e400]})"}, 400, ""},
        {{"echo", token, std::nullopt, std::string(100000, '[') + std::string(100000, ']')}, 400,
         "\"request body is not JSON: JSON nested deeper than 64 levels\""},
    };
    for (const auto& c : cases) {
        const HttpReply reply = post(c.request);
        EXPECT_EQ(reply.status, c.status) << c.request.command << " " << c.request.body;
        EXPECT_EQ(reply.content_type, "application/json");
        if (!c.body.empty()) {
            EXPECT_EQ(reply.body, c.body);
        }
        EXPECT_TRUE(json::parse(reply.body).is_string() || reply.status == 200) << reply.body;
    }
}

TEST_F(ServeGateTest, OversizedBodyIsRefusedBeforeParsing) {
    IpcRequest request{"echo", "secret-token", std::nullopt, std::string(ServeGate::kMaxBodyBytes + 1, ' ')};
    EXPECT_EQ(post(std::move(request)).status, 413);
}

TEST_F(ServeGateTest, HeadersAloneDecideRefusals) {
    const std::uint64_t limit = ServeGate::kMaxBodyBytes;
    struct Case {
        IpcHeaders headers;
        int status;  // 0: let in
    };
    const Case cases[] = {
        {{"secret-token", std::nullopt, 10}, 0},
        {{"secret-token", "http://127.0.0.1:4000", limit}, 0},
        {{"secret-token", std::nullopt, std::nullopt}, 0},  // chunked: counted as it arrives
        {{std::nullopt, std::nullopt, 10}, 403},
        {{"wrong", std::nullopt, limit + 1}, 403},
        {{"secret-token", "http://evil.example", 10}, 403},
        {{"secret-token", std::nullopt, limit + 1}, 413},
    };
    for (const auto& c : cases) {
        const auto refusal = refuse_ipc_headers(gate_, c.headers);
        EXPECT_EQ(refusal ? refusal->status : 0, c.status) << c.headers.token.value_or("-");
    }
}

TEST(BridgeToken, RandomTokensAre32HexDigits) {
    const auto a = random_bridge_token();
    EXPECT_EQ(a.size(), 32u);
    EXPECT_EQ(a.find_first_not_of("0123456789abcdef"), std::string::npos);
    EXPECT_NE(a, random_bridge_token());
}

}  // namespace
}  // namespace tovik
