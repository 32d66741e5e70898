#include "collect/collect.h"

#include <exception>
#include <istream>
#include <optional>
#include <ostream>
#include <variant>

#include "app/settings.h"
#include "app/version_check.h"
#include "collect/options.h"
#include "collect/texts.h"
#include "inventory/collection_run.h"
#include "platform/common/errors.h"
#include "platform/common/guard.h"
#include "platform/ui/ui.h"
#include "service/service.h"
#include "signin/guid_string.h"
#include "signin/texts.h"

namespace collect {

using platform::guarded;
using platform::guardedCondition;

namespace {

// The build's version, as program start sends it.
constexpr int kVersionMajor = VANTREL_VERSION_MAJOR;
constexpr int kVersionMinor = VANTREL_VERSION_MINOR;
constexpr int kVersionRevision = VANTREL_VERSION_REVISION;

// The values the wizard keeps in its shared state, for one run.
struct Values {
    bool IsSubscriber = true;
    std::string UserName;
    std::string UserPassword;
    std::string EvalID;
    bool EvalRegistered = false;
    platform::Date ProfileCrDate;
    platform::Date ProfileLuDate;

    inventory::RunValues Run() const {
        return {IsSubscriber, UserName, UserPassword, EvalID, EvalRegistered, ProfileCrDate, ProfileLuDate};
    }
};

// Message boxes become lines on standard error; the answer is always OK.
class StreamUi : public platform::Ui {
public:
    explicit StreamUi(std::ostream& err) : err_(err) {}
    platform::Answer Show(const platform::MessageBox& box) override {
        err_ << box.text << '\n';
        return platform::Answer::OK;
    }
    void DoEvents() override {}
    [[noreturn]] void End() override { throw platform::ProgramEnded{kNotComplete}; }

private:
    std::ostream& err_;
};

// Progress lines on standard error, each text once (the wizard's label shows a repeated text
// without a change); the final text is kept for the caller.
class StreamSink : public inventory::ProgressSink {
public:
    StreamSink(std::ostream& err, bool quiet) : err_(err), quiet_(quiet) {}
    void SetFrozen(bool) override {}
    void Yield() override {}
    void SetProgressText(const std::string& text) override {
        if (quiet_ || text == last_) return;
        last_ = text;
        err_ << text << '\n';
        err_.flush();
    }
    void SetFinalText(const std::string&) override {}
    void InstrumentationUnavailable(const std::string& title, const std::string& text) override {
        err_ << title << ": " << text << '\n';
    }

private:
    std::ostream& err_;
    bool quiet_;
    std::string last_;
};

std::string ReadServerPath(platform::Registry& registry) {
    app::SettingValue serverPath;
    guarded([&] {
        platform::HKey key = 0;
        registry.OpenKeyEx(platform::HKEY_LOCAL_MACHINE, app::kSettingsKey, 0, platform::KEY_QUERY_VALUE, key);
        app::ReadSettingValue(registry, key, "ServerPath", serverPath);
        registry.CloseKey(key);
    });
    return app::ToText(serverPath);
}

// One line; a final line without its newline counts, an empty input does not.
std::optional<std::string> ReadPassword(std::istream& in) {
    std::string line;
    if (!std::getline(in, line) && line.empty()) return std::nullopt;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

void AppendUtf8(std::string& out, unsigned code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// The length of the well-formed UTF-8 sequence at `i`, or 0.
std::size_t Utf8Length(const std::string& s, std::size_t i, unsigned& code) {
    const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned c = b(i);
    std::size_t n = 0;
    unsigned min = 0;
    if (c >= 0xC2 && c <= 0xDF) n = 2, code = c & 0x1F, min = 0x80;
    else if (c >= 0xE0 && c <= 0xEF) n = 3, code = c & 0x0F, min = 0x800;
    else if (c >= 0xF0 && c <= 0xF4) n = 4, code = c & 0x07, min = 0x10000;
    else return 0;
    if (i + n > s.size()) return 0;
    for (std::size_t k = 1; k < n; ++k) {
        if ((b(i + k) & 0xC0) != 0x80) return 0;
        code = (code << 6) | (b(i + k) & 0x3F);
    }
    if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    return n;
}

std::string JsonString(const std::string& s) {
    static const char* hex = "0123456789abcdef";
    std::string out = "\"";
    for (std::size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
            ++i;
        } else if (c < 0x20 || c == 0x7F) {
            out += "\\u00";
            out += hex[c >> 4];
            out += hex[c & 0xF];
            ++i;
        } else if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
        } else {
            unsigned code = 0;
            const std::size_t n = Utf8Length(s, i, code);
            if (n == 0) {
                AppendUtf8(out, 0xFFFD);
                ++i;
            } else {
                out.append(s, i, n);
                i += n;
            }
        }
    }
    return out + "\"";
}

// The account check of the Next button: 0 to go on, otherwise the exit status.
int AccountCheck(const service::ServiceClient& client, Values& values, StreamUi& ui) {
    std::optional<service::ServiceReply> reply;
    guarded([&] { reply = client.ServiceRequest(service::AccountRequest(values.UserName, values.UserPassword)); });
    platform::MessageBox box;
    if (!reply) {
        box.text = service::AroundSiteAddress(signin::texts::kAccountCheckFailedLead,
                                             signin::texts::kAccountCheckFailedTail);
        ui.Show(box);
        return kNotComplete;
    }
    if (reply->RecordCount() != 1) {
        box.text = service::AroundSiteAddress(signin::texts::kInvalidLoginLead, signin::texts::kInvalidLoginTail);
        ui.Show(box);
        return kRefused;
    }
    // A field that is missing or is no date leaves that date as it was.
    guarded([&] { values.ProfileCrDate = service::FieldToDate(reply->Field(1)); });
    guarded([&] { values.ProfileLuDate = service::FieldToDate(reply->Field(2)); });
    return kComplete;
}

void MakeEvalID(platform::GuidSource& guids, Values& values) {
    guarded([&] { values.EvalID = signin::CreateGuidString(guids); });
    guarded([&] { values.EvalID = signin::EvaluationId(values.EvalID); });
}

// The connectivity test of the welcome page's Next: a machine without a network address
// cannot reach the service.
bool Connected(platform::Network& network) {
    guarded([&] { network.Close(); });
    guarded([&] { network.Refresh(); });
    const bool notConnected = guardedCondition([&] {
        const std::string address = network.LocalIP();
        return address.empty() || address == signin::texts::kLoopbackAddress;
    });
    return !notConnected;
}

int DryRun(const Options& options, Services services, Streams streams) {
    Values values;
    values.IsSubscriber = options.isSubscriber;
    values.UserName = options.userName;
    values.UserPassword = kHiddenPassword;  // never read, never printed
    auto print = [&](const service::Request& request) {
        streams.out << RequestJson(request.page, request.query) << '\n';
    };
    print(service::VersionRequest(kVersionMajor, kVersionMinor, kVersionRevision));
    if (values.IsSubscriber) {
        print(service::AccountRequest(values.UserName, values.UserPassword));
    } else {
        MakeEvalID(services.guids, values);
        print(service::RegistrationRequest(values.EvalID));
        values.EvalRegistered = true;
    }
    StreamSink sink(streams.err, options.quiet);
    const inventory::RunResult result =
        inventory::CollectionRun(services.registry, services.instrumentation, values.Run(), print)(sink);
    streams.out.flush();
    return result.instrumentationUnavailable ? kNotComplete : kComplete;
}

}  // namespace

std::string RequestJson(const std::string& page, const std::vector<std::pair<std::string, std::string>>& query) {
    std::string line = "{\"page\":" + JsonString(page);
    for (const auto& [key, value] : query) line += "," + JsonString(key) + ":" + JsonString(value);
    return line + "}";
}

int Main(const std::vector<std::string>& args, Services services, Streams streams) {
    const auto parsed = ParseOptions(args);
    if (const auto* error = std::get_if<UsageError>(&parsed)) {
        streams.err << kProgramName << ": " << error->message << "\n\n" << kUsage;
        return kBadUsage;
    }
    const Options& options = std::get<Options>(parsed);
    if (options.help) {
        streams.out << kUsage;
        return kComplete;
    }
    if (options.dryRun) return DryRun(options, services, streams);

    const std::string serverPath = options.server ? *options.server : ReadServerPath(services.registry);
    if (serverPath.empty()) {
        streams.err << kProgramName << ": " << kNoServer << '\n';
        return kBadUsage;
    }
    Values values;
    values.IsSubscriber = options.isSubscriber;
    values.UserName = options.userName;
    if (values.IsSubscriber) {
        if (streams.echo) streams.echo(false);
        const auto password = ReadPassword(streams.in);
        if (streams.echo) streams.echo(true);
        if (!password) {
            streams.err << kProgramName << ": " << kNoPassword << '\n';
            return kBadUsage;
        }
        values.UserPassword = *password;
    }

    const service::ServiceClient client(services.records, serverPath);
    StreamUi ui(streams.err);
    app::VersionOutcome version = app::VersionOutcome::Failed;
    try {
        version = app::CheckVersion(client, ui, kVersionMajor, kVersionMinor, kVersionRevision);
    } catch (const std::exception&) {
        version = app::VersionOutcome::Failed;  // as in the wizard: a check that cannot be made lets it run
    }
    if (version == app::VersionOutcome::Refused) return kRefused;

    if (!Connected(services.network)) {
        platform::MessageBox box;
        box.text = signin::texts::kNotConnected;
        ui.Show(box);
        return kNotComplete;
    }

    if (values.IsSubscriber) {
        if (const int status = AccountCheck(client, values, ui); status != kComplete) return status;
    } else {
        MakeEvalID(services.guids, values);
        values.EvalRegistered =
            guarded([&] { client.ServiceRequest(service::RegistrationRequest(values.EvalID)); });
    }

    StreamSink sink(streams.err, options.quiet);
    const inventory::RunResult result = inventory::CollectionRun(
        services.registry, services.instrumentation, values.Run(),
        [&client](const service::Request& request) { client.ServiceRequest(request); })(sink);
    if (result.instrumentationUnavailable) return kNotComplete;
    streams.out << result.finalText << '\n';
    streams.out.flush();
    return result.complete ? kComplete : kNotComplete;
}

}  // namespace collect
