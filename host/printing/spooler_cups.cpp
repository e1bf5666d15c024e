#include <cups/cups.h>

#include <memory>
#include <string_view>

#include "bridge/command_error.hpp"
#include "printing/spooler.hpp"

namespace tovik {

namespace {

constexpr const char* kJobTitle = "TOVIK pro receipt";
constexpr int kPrinterStopped = 5;  // IPP printer-state "stopped"

class DestList {
public:
    DestList() : count_(cupsGetDests2(CUPS_HTTP_DEFAULT, &dests_)) {}
    ~DestList() { cupsFreeDests(count_, dests_); }
    DestList(const DestList&) = delete;
    DestList& operator=(const DestList&) = delete;

    [[nodiscard]] std::span<const cups_dest_t> entries() const {
        return {dests_, static_cast<std::size_t>(count_)};
    }
    [[nodiscard]] const cups_dest_t* find(const std::string& name) const {
        return cupsGetDest(name.c_str(), nullptr, count_, dests_);
    }

private:
    cups_dest_t* dests_ = nullptr;
    int count_;
};

std::string_view option(const cups_dest_t& dest, const char* name) {
    const char* value = cupsGetOption(name, dest.num_options, dest.options);
    return value ? value : "";
}

bool request_failed() { return cupsLastError() > IPP_STATUS_OK_EVENTS_COMPLETE; }

std::string quoted(const std::string& printer) { return "printer \"" + printer + "\""; }

}  // namespace

std::vector<std::string> list_spooler_printers() {
    const DestList dests;
    // No destinations and an error other than "none found": the spooler did not answer.
    if (dests.entries().empty() && request_failed() && cupsLastError() != IPP_STATUS_ERROR_NOT_FOUND)
        throw CommandError(std::string("the spooler could not list the printers: ") + cupsLastErrorString());
    std::vector<std::string> names;
    for (const cups_dest_t& dest : dests.entries()) {
        // Instances are saved option sets of a printer, not printers of their own.
        if (dest.instance || !dest.name || !*dest.name) continue;
        names.emplace_back(dest.name);
    }
    return names;
}

void print_raw_job(const std::string& printer, std::span<const std::uint8_t> bytes) {
    const DestList dests;
    const cups_dest_t* dest = dests.find(printer);
    if (!dest) throw CommandError(quoted(printer) + " was not found");
    if (option(*dest, "printer-state") == std::to_string(kPrinterStopped))
        throw CommandError(quoted(printer) + " is paused and cannot print");
    if (option(*dest, "printer-is-accepting-jobs") == "false")
        throw CommandError(quoted(printer) + " is not accepting jobs");

    const int job = cupsCreateJob(CUPS_HTTP_DEFAULT, dest->name, kJobTitle, 0, nullptr);
    if (job == 0) throw CommandError("the printer refused the job");
    if (cupsStartDocument(CUPS_HTTP_DEFAULT, dest->name, job, kJobTitle, CUPS_FORMAT_RAW, 1) != HTTP_STATUS_CONTINUE) {
        cupsCancelJob2(CUPS_HTTP_DEFAULT, dest->name, job, 0);
        throw CommandError("the printer refused the page");
    }
    const http_status_t written =
        cupsWriteRequestData(CUPS_HTTP_DEFAULT, reinterpret_cast<const char*>(bytes.data()), bytes.size());
    const ipp_status_t finished = cupsFinishDocument(CUPS_HTTP_DEFAULT, dest->name);
    if (written != HTTP_STATUS_CONTINUE || finished > IPP_STATUS_OK_EVENTS_COMPLETE) {
        cupsCancelJob2(CUPS_HTTP_DEFAULT, dest->name, job, 0);
        throw CommandError("the printer did not take the whole receipt");
    }
}

}  // namespace tovik
