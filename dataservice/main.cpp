// vantrel-dataservice: serves the pages, or manages the database from the command line.
#include <signal.h>

#include <cstring>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "dataservice/listing.h"
#include "dataservice/server.h"
#include "dataservice/store.h"

namespace {

const char kUsage[] =
    "usage: vantrel-dataservice --db FILE [--host ADDRESS] --port N [--journal FILE]\n"
    "       vantrel-dataservice --db FILE COMMAND [ARGUMENTS]\n"
    "\n"
    "Serves the data service on ADDRESS (default 127.0.0.1) and port N (0: a free one),\n"
    "printing \"listening on http://ADDRESS:PORT/\" once it answers. SIGINT or SIGTERM stop it.\n"
    "\n"
    "commands:\n"
    "  add-account NAME PASSWORD   add a subscriber (PASSWORD \"-\": read a line from stdin)\n"
    "  remove-account NAME         remove a subscriber and everything stored for it\n"
    "  list-accounts               subscriber names, one a line\n"
    "  allow-version M.N.R         let that collector version run\n"
    "  disallow-version M.N.R      refuse that collector version\n"
    "  list-versions               the allowed versions\n"
    "  list-items NAME             a profile's items as \"category<TAB>text\", in arrival order\n"
    "  list-journal                the requests received, in order\n"
    "\n"
    "Listed values write \"%\", control characters and invalid UTF-8 as %XX.\n";

int usage(const std::string& problem) {
    std::cerr << "vantrel-dataservice: " << problem << "\n\n" << kUsage;
    return 2;
}

int serve(dataservice::Store& store, dataservice::ServerOptions options) {
    // Block the stop signals before any thread exists, so they are taken here by sigwait.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    dataservice::Server server(store, std::move(options));
    server.start();
    std::cout << "listening on " << server.address() << std::endl;
    int received = 0;
    sigwait(&stopSignals, &received);
    server.stop();
    return 0;
}

int run(int argc, char** argv) {
    std::optional<std::string> db, journal, host, port;
    std::vector<std::string> words;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (!words.empty()) {  // after the command everything is its arguments, "--x" included
            words.push_back(arg);
            continue;
        }
        const auto value = [&](std::optional<std::string>& slot) {
            if (i + 1 >= argc) return false;
            slot = argv[++i];
            return true;
        };
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return 0;
        } else if (arg == "--db") {
            if (!value(db)) return usage("--db needs a file");
        } else if (arg == "--journal") {
            if (!value(journal)) return usage("--journal needs a file");
        } else if (arg == "--host") {
            if (!value(host)) return usage("--host needs an address");
        } else if (arg == "--port") {
            if (!value(port)) return usage("--port needs a number");
        } else if (arg.size() > 2 && arg.compare(0, 2, "--") == 0) {
            return usage("unknown option " + arg);
        } else {
            words.push_back(arg);
        }
    }
    if (!db) return usage("--db FILE is required");
    dataservice::Store store(*db);

    if (words.empty()) {
        if (!port) return usage("--port N is required to serve");
        dataservice::ServerOptions options;
        if (host) options.host = *host;
        char* end = nullptr;
        const long n = std::strtol(port->c_str(), &end, 10);
        if (port->empty() || *end != '\0' || n < 0 || n > 65535) return usage("--port needs a number from 0 to 65535");
        options.port = static_cast<int>(n);
        if (journal) options.journalFile = *journal;
        return serve(store, std::move(options));
    }

    const std::string& command = words[0];
    const auto arguments = [&](std::size_t n) { return words.size() == n + 1; };
    if (command == "add-account" && arguments(2)) {
        std::string password = words[2];
        if (password == "-" && !std::getline(std::cin, password)) return usage("no password on standard input");
        if (words[1].empty()) return usage("the account name must not be empty");
        if (!store.addAccount(words[1], password)) {
            std::cerr << "vantrel-dataservice: an account named " << words[1] << " exists already\n";
            return 1;
        }
        return 0;
    }
    if (command == "remove-account" && arguments(1)) {
        if (!store.removeAccount(words[1])) {
            std::cerr << "vantrel-dataservice: there is no account named " << words[1] << "\n";
            return 1;
        }
        return 0;
    }
    if (command == "list-accounts" && arguments(0)) {
        for (const auto& name : store.accountNames()) std::cout << dataservice::escapeLine(name) << '\n';
        return 0;
    }
    if ((command == "allow-version" || command == "disallow-version") && arguments(1)) {
        const auto version = dataservice::parseVersion(words[1]);
        if (!version) return usage("a version is written MAJOR.MINOR.REV, e.g. 1.1.11");
        if (command == "allow-version") {
            store.allowVersion(*version);
        } else if (!store.disallowVersion(*version)) {
            std::cerr << "vantrel-dataservice: version " << words[1] << " was not allowed\n";
            return 1;
        }
        return 0;
    }
    if (command == "list-versions" && arguments(0)) {
        dataservice::printVersions(store.allowedVersions(), std::cout);
        return 0;
    }
    if (command == "list-items" && arguments(1)) {
        const auto profile = store.profileNamed(words[1]);
        if (!profile) {
            std::cerr << "vantrel-dataservice: there is no profile named " << words[1] << "\n";
            return 1;
        }
        dataservice::printItems(store.items(profile->id), std::cout);
        return 0;
    }
    if (command == "list-journal" && arguments(0)) {
        dataservice::printJournal(store.journal(), std::cout);
        return 0;
    }
    return usage("unknown command or wrong number of arguments: " + command);
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const std::exception& e) {
        std::cerr << "vantrel-dataservice: " << e.what() << "\n";
        return 1;
    }
}
