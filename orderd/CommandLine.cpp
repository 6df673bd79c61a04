#include "orderd/CommandLine.h"

#include <signal.h>

#include <charconv>
#include <csignal>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <sstream>

#include "orderd/DemoSeeder.h"
#include "orderd/HttpServer.h"
#include "orderd/Jpeg.h"
#include "orderd/OrderService.h"
#include "orderd/Validation.h"

namespace orderd {
namespace {

namespace fs = std::filesystem;

constexpr int kOk = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;

const char* const kMainHelp = R"(usage: proofshot-orderd <command> [options]

commands:
  serve      run the order service
  user add   add a user who may sign in and upload
  order add  add an order with its details and stock picture
  uploads    list the photos received for an order
  seed       fill a data directory with demo data

Run 'proofshot-orderd <command> --help' for the options of a command.
)";

const char* const kServeHelp = R"(usage: proofshot-orderd serve --data DIR [options]

  --data DIR                 data directory (created if missing)
  --listen HOST:PORT         address to listen on (default 127.0.0.1:8080; port 0 picks a
                             free port and prints it). Loopback unless you say otherwise.
  --cert FILE --key FILE     serve HTTPS with this PEM certificate and key
  --max-upload-bytes N       largest accepted upload body (default 20971520)
  --max-connections N        connections open at once (default 256)
  --idle-timeout SECONDS     close a connection silent this long (default 15)
  --request-timeout SECONDS  longest time one request may take to arrive (default 300)
  --workers N                worker threads (default 4)
  --drain-timeout SECONDS    on SIGTERM, wait this long for uploads in flight (default 30)
  --access-log FILE          append the access log here instead of standard error
)";

const char* const kUserHelp =
    R"(usage: proofshot-orderd user add --data DIR --username NAME [--password-stdin | --password P]

  Reads the password from the first line of standard input unless --password is given
  (which other users of the machine may see in the process list).
)";

const char* const kOrderHelp =
    R"(usage: proofshot-orderd order add --data DIR --number N --line1 TEXT --line2 TEXT
                                --line3 TEXT --stock NAME [--picture FILE]

  --stock NAME      file name of the stock picture, served below /trelmostockimages/
  --picture FILE    a JPEG to copy into the stock folder under NAME
  Detail lines may not contain commas: the app splits the answer at every comma.
)";

const char* const kUploadsHelp = R"(usage: proofshot-orderd uploads --data DIR --order N

  Lists every photo received for order N: id, time, location, batch index, user, size,
  SHA-256 and stored path (relative to DIR).
)";

const char* const kSeedHelp = R"(usage: proofshot-orderd seed --data DIR --demo

  Adds the demo user, orders 1001 to 1005 and their stock pictures (generated). Adds only
  what is missing, so it can run on every start.
)";

// "--name value" and "--name=value" options plus bare flags, all checked against a known set.
class Options {
public:
    std::optional<std::string> parse(const std::vector<std::string>& args, std::size_t from,
                                     const std::map<std::string, bool>& known) {
        for (std::size_t i = from; i < args.size(); ++i) {
            std::string name = args[i];
            std::optional<std::string> inlineValue;
            if (auto eq = name.find('='); eq != std::string::npos) {
                inlineValue = name.substr(eq + 1);
                name.resize(eq);
            }
            auto it = known.find(name);
            if (it == known.end()) {
                return "unknown option '" + name + "'";
            }
            if (!it->second) {
                values_[name] = "";
            } else if (inlineValue) {
                values_[name] = *inlineValue;
            } else if (i + 1 < args.size()) {
                values_[name] = args[++i];
            } else {
                return "option " + name + " needs a value";
            }
        }
        return std::nullopt;
    }
    bool has(const std::string& name) const { return values_.count(name) > 0; }
    std::string get(const std::string& name) const {
        auto it = values_.find(name);
        return it == values_.end() ? std::string() : it->second;
    }

private:
    std::map<std::string, std::string> values_;
};

struct Context {
    std::istream& in;
    std::ostream& out;
    std::ostream& err;
};

int usageError(Context& io, const std::string& message, const char* help) {
    io.err << "proofshot-orderd: " << message << "\n\n" << help;
    return kUsage;
}

int failure(Context& io, const std::string& message) {
    io.err << "proofshot-orderd: " << message << '\n';
    return kFailed;
}

std::optional<unsigned> parseNumber(const std::string& text, unsigned min, unsigned max) {
    unsigned value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < min || value > max) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::string> readFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// Every option that needs an unsigned number, with its range.
struct NumberOption {
    const char* name;
    unsigned min;
    unsigned max;
    unsigned* target;  // nullptr for the one option that is not an unsigned
};

std::optional<std::string> applyListen(const std::string& listen, ServerOptions& options) {
    auto colon = listen.rfind(':');
    auto port =
        colon == std::string::npos ? std::nullopt : parseNumber(listen.substr(colon + 1), 0, 65535);
    if (!port) {
        return "--listen wants HOST:PORT, got '" + listen + "'";
    }
    options.host = listen.substr(0, colon);
    options.port = static_cast<std::uint16_t>(*port);
    return std::nullopt;
}

std::optional<std::string> applyServeOptions(const Options& opts, ServerOptions& options,
                                             unsigned& drainSeconds) {
    if (opts.has("--listen")) {
        if (auto problem = applyListen(opts.get("--listen"), options)) {
            return problem;
        }
    }
    std::size_t uploadBytes = 0;
    const NumberOption numbers[] = {{"--max-upload-bytes", 1024, 1u << 30, nullptr},
                                    {"--max-connections", 1, 10000, &options.maxConnections},
                                    {"--idle-timeout", 1, 3600, &options.idleTimeoutSeconds},
                                    {"--workers", 1, 64, &options.workerThreads},
                                    {"--request-timeout", 1, 86400, &options.requestTimeoutSeconds},
                                    {"--drain-timeout", 0, 3600, &drainSeconds}};
    for (const auto& number : numbers) {
        if (!opts.has(number.name)) {
            continue;
        }
        auto value = parseNumber(opts.get(number.name), number.min, number.max);
        if (!value) {
            return std::string(number.name) + " wants a number from " + std::to_string(number.min) +
                   " to " + std::to_string(number.max);
        }
        if (number.target) {
            *number.target = *value;
        } else {
            uploadBytes = *value;
        }
    }
    if (uploadBytes) {
        options.maxUploadBytes = uploadBytes;
    }
    if (opts.has("--cert") != opts.has("--key")) {
        return "--cert and --key go together";
    }
    return std::nullopt;
}

std::optional<std::string> loadTls(const Options& opts, ServerOptions& options) {
    if (!opts.has("--cert")) {
        return std::nullopt;
    }
    auto cert = readFile(opts.get("--cert"));
    auto key = readFile(opts.get("--key"));
    if (!cert || !key) {
        return "cannot read " + opts.get(cert ? "--key" : "--cert");
    }
    options.certificatePem = *cert;
    options.keyPem = *key;
    return std::nullopt;
}

// Blocked before any thread starts, so every thread inherits the mask and the signals wait
// for sigwait instead of ending the process mid-upload.
sigset_t blockStopSignals() {
    // A parent shell may have set these to be ignored, which would discard them unseen.
    std::signal(SIGTERM, SIG_DFL);
    std::signal(SIGINT, SIG_DFL);
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    return signals;
}

void logStartNotes(AccessLog& log, const OrderService& service, const ServerOptions& options,
                   bool tls) {
    if (auto moved = service.unrecordedPhotosMoved()) {
        log.write(AccessLog::timestamp() + " server: moved " + std::to_string(moved) +
                  " photo(s) without a record to unrecorded/");
    }
    if (options.host.rfind("127.", 0) != 0 && !tls) {
        log.write(AccessLog::timestamp() + " server: warning: plain HTTP on " + options.host +
                  ": passwords cross the network in clear; use --cert and --key");
    }
}

int serve(const Options& opts, Context& io) {
    ServerOptions options;
    unsigned drainSeconds = 30;
    if (auto problem = applyServeOptions(opts, options, drainSeconds)) {
        return usageError(io, *problem, kServeHelp);
    }
    if (auto problem = loadTls(opts, options)) {
        return failure(io, *problem);
    }
    std::FILE* logFile = stderr;
    if (opts.has("--access-log") &&
        !(logFile = std::fopen(opts.get("--access-log").c_str(), "a"))) {
        return failure(io, "cannot open access log " + opts.get("--access-log"));
    }
    AccessLog log(logFile);
    auto service = OrderService::open(opts.get("--data"), OpenMode::Serve);
    if (!service.ok()) {
        return failure(io, service.error().message);
    }
    sigset_t signals = blockStopSignals();
    auto server = HttpServer::start(options, *service.value(), log);
    if (!server.ok()) {
        return failure(io, server.error().message);
    }
    bool tls = server.value()->isTls();
    logStartNotes(log, *service.value(), options, tls);
    io.out << "proofshot-orderd listening on " << (tls ? "https" : "http") << "://" << options.host
           << ":" << server.value()->port() << std::endl;
    int signal = 0;
    sigwait(&signals, &signal);
    log.write(AccessLog::timestamp() + " server: signal " + std::to_string(signal) +
              ", finishing requests in flight");
    server.value()->shutdown(std::chrono::seconds(drainSeconds));
    log.write(AccessLog::timestamp() + " server: stopped");
    return kOk;
}

int userAdd(const Options& opts, Context& io) {
    auto name = opts.get("--username");
    if (!isValidUsername(name)) {
        return usageError(io, "--username must be 1 to 64 letters, digits, '.', '-', '_' or '@'",
                          kUserHelp);
    }
    std::string password = opts.get("--password");
    if (!opts.has("--password") && !std::getline(io.in, password)) {
        return failure(io, "no password on standard input");
    }
    if (password.size() < 8 || password.size() > 256) {
        return failure(io, "the password must be 8 to 256 characters long");
    }
    auto service = OrderService::open(opts.get("--data"));
    auto hash = CredentialChecker::hashPassword(password);
    if (!service.ok() || !hash.ok()) {
        return failure(io, !service.ok() ? service.error().message : hash.error().message);
    }
    if (auto status = service.value()->database().addUser(name, hash.value()); !status.ok()) {
        return failure(io, status.error().message);
    }
    io.out << "added user " << name << '\n';
    return kOk;
}

std::optional<std::string> orderProblem(const Order& order) {
    if (!isValidOrderNumber(order.number)) {
        return "--number must be 1 to 32 letters, digits, '-' or '_'";
    }
    for (const auto* line : {&order.line1, &order.line2, &order.line3}) {
        if (!isValidDetailLine(*line)) {
            return "detail lines may not contain commas or control characters (at most 200 "
                   "bytes): '" +
                   *line + "'";
        }
    }
    if (!isValidStockName(order.stockImage)) {
        return "--stock must be a file name of letters, digits, '.', '-' or '_' ending in .jpg, "
               ".jpeg, .png or .gif";
    }
    return std::nullopt;
}

int orderAdd(const Options& opts, Context& io) {
    Order order{opts.get("--number"), opts.get("--line1"), opts.get("--line2"), opts.get("--line3"),
                opts.get("--stock")};
    if (auto problem = orderProblem(order)) {
        return usageError(io, *problem, kOrderHelp);
    }
    if (opts.has("--picture") && !isJpegFile(opts.get("--picture"))) {
        return failure(io, opts.get("--picture") + " is not a readable JPEG");
    }
    auto service = OrderService::open(opts.get("--data"));
    if (!service.ok()) {
        return failure(io, service.error().message);
    }
    auto target = OrderService::stockFolder(opts.get("--data")) / order.stockImage;
    std::error_code ec;
    if (opts.has("--picture") &&
        !fs::copy_file(opts.get("--picture"), target, fs::copy_options::overwrite_existing, ec)) {
        return failure(io, "cannot copy the picture to " + target.string() + ": " + ec.message());
    }
    if (auto status = service.value()->database().addOrder(order); !status.ok()) {
        return failure(io, status.error().message);
    }
    io.out << "added order " << order.number << '\n';
    if (!fs::exists(target, ec)) {
        io.err << "note: no stock picture at " << target.string() << " yet\n";
    }
    return kOk;
}

int listUploads(const Options& opts, Context& io) {
    auto number = opts.get("--order");
    if (!isValidOrderNumber(number)) {
        return usageError(io, "--order must be an order number", kUploadsHelp);
    }
    auto service = OrderService::open(opts.get("--data"));
    if (!service.ok()) {
        return failure(io, service.error().message);
    }
    auto uploads = service.value()->database().uploads(number);
    io.out << "id\treceived\tlocation\tbatch\tuser\tsize\tsha256\tpath\n";
    for (const auto& u : uploads) {
        io.out << u.id << '\t' << u.receivedAt << '\t' << locationFolder(u.location) << '\t'
               << u.batchIndex << '\t' << u.username << '\t' << u.size << '\t' << u.sha256 << '\t'
               << u.storedPath << '\n';
    }
    io.err << uploads.size() << " upload(s) for order " << number << '\n';
    return kOk;
}

int seed(const Options& opts, Context& io) {
    if (!opts.has("--demo")) {
        return usageError(io, "only --demo data can be seeded", kSeedHelp);
    }
    auto service = OrderService::open(opts.get("--data"));
    if (!service.ok()) {
        return failure(io, service.error().message);
    }
    if (auto status = DemoSeeder::seed(*service.value(), io.out); !status.ok()) {
        return failure(io, status.error().message);
    }
    return kOk;
}

struct Command {
    std::vector<std::string> words;
    const char* help;
    std::map<std::string, bool> options;  // name -> takes a value
    int (*run)(const Options&, Context&);
};

const std::vector<Command>& commands() {
    static const std::vector<Command> all{
        {{"serve"},
         kServeHelp,
         {{"--data", true},
          {"--listen", true},
          {"--cert", true},
          {"--key", true},
          {"--max-upload-bytes", true},
          {"--max-connections", true},
          {"--idle-timeout", true},
          {"--workers", true},
          {"--request-timeout", true},
          {"--drain-timeout", true},
          {"--access-log", true}},
         serve},
        {{"user", "add"},
         kUserHelp,
         {{"--data", true},
          {"--username", true},
          {"--password", true},
          {"--password-stdin", false}},
         userAdd},
        {{"order", "add"},
         kOrderHelp,
         {{"--data", true},
          {"--number", true},
          {"--line1", true},
          {"--line2", true},
          {"--line3", true},
          {"--stock", true},
          {"--picture", true}},
         orderAdd},
        {{"uploads"}, kUploadsHelp, {{"--data", true}, {"--order", true}}, listUploads},
        {{"seed"}, kSeedHelp, {{"--data", true}, {"--demo", false}}, seed},
    };
    return all;
}

bool matches(const Command& command, const std::vector<std::string>& args) {
    if (args.size() < command.words.size()) {
        return false;
    }
    for (std::size_t i = 0; i < command.words.size(); ++i) {
        if (args[i] != command.words[i]) {
            return false;
        }
    }
    return true;
}

bool wantsHelp(const std::vector<std::string>& args, std::size_t from) {
    for (std::size_t i = from; i < args.size(); ++i) {
        if (args[i] == "--help" || args[i] == "-h") {
            return true;
        }
    }
    return false;
}

}  // namespace

int CommandLine::run(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                     std::ostream& err) {
    Context io{in, out, err};
    if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        (args.empty() ? err : out) << kMainHelp;
        return args.empty() ? kUsage : kOk;
    }
    for (const auto& command : commands()) {
        if (!matches(command, args)) {
            continue;
        }
        if (wantsHelp(args, command.words.size())) {
            out << command.help;
            return kOk;
        }
        Options opts;
        if (auto problem = opts.parse(args, command.words.size(), command.options)) {
            return usageError(io, *problem, command.help);
        }
        if (opts.get("--data").empty()) {
            return usageError(io, "--data DIR is required", command.help);
        }
        return command.run(opts, io);
    }
    for (const auto& command : commands()) {
        if (command.words.size() > 1 && command.words[0] == args[0]) {
            bool help = wantsHelp(args, 1);
            (help ? out : err) << command.help;
            return help ? kOk : kUsage;
        }
    }
    return usageError(io, "unknown command '" + args[0] + "'", kMainHelp);
}

}  // namespace orderd
