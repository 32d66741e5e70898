#include "dataservice/cli/commands.h"

#include <iostream>

#include "dataservice/cli/listing.h"
#include "platform/common/text.h"

namespace dataservice::cli {
namespace {

using Words = std::vector<std::string>;
struct Command {
    const char* name;
    std::size_t arguments;
    int (*run)(Store& store, const Words& args);
};

int addAccount(Store& store, const Words& args) {
    std::string password = args[1];
    if (password == "-" && !std::getline(std::cin, password)) return usage("no password on standard input");
    if (args[0].empty()) return usage("the account name must not be empty");
    if (!store.profiles().addAccount(args[0], password)) {
        std::cerr << "vantrel-dataservice: an account named " << args[0] << " exists already\n";
        return 1;
    }
    return 0;
}

int removeAccount(Store& store, const Words& args) {
    if (store.profiles().removeAccount(args[0])) return 0;
    std::cerr << "vantrel-dataservice: there is no account named " << args[0] << "\n";
    return 1;
}

int listAccounts(Store& store, const Words&) {
    for (const auto& name : store.profiles().accountNames()) std::cout << escapeLine(name) << '\n';
    return 0;
}

int allowVersion(Store& store, const Words& args) {
    const auto version = parseVersion(args[0]);
    if (!version) return usage("a version is written MAJOR.MINOR.REV, e.g. 1.1.11");
    store.versions().allow(*version);
    return 0;
}

int disallowVersion(Store& store, const Words& args) {
    const auto version = parseVersion(args[0]);
    if (!version) return usage("a version is written MAJOR.MINOR.REV, e.g. 1.1.11");
    if (store.versions().disallow(*version)) return 0;
    std::cerr << "vantrel-dataservice: version " << args[0] << " was not allowed\n";
    return 1;
}

int listVersions(Store& store, const Words&) {
    printVersions(store.versions().all(), std::cout);
    return 0;
}

int listItems(Store& store, const Words& args) {
    const auto profile = store.profiles().named(args[0]);
    if (!profile) {
        std::cerr << "vantrel-dataservice: there is no profile named " << args[0] << "\n";
        return 1;
    }
    printItems(store.inventory().items(profile->id), std::cout);
    return 0;
}

int listItemsOf(Store& store, const Words& args) {
    const auto profile = store.profiles().named(args[0]);
    const auto id = text::ParseWhole<std::int64_t>(args[2]);
    if (args[1] != "--collection" || !id) return usage("list-items NAME --collection K, K a number list-collections shows");
    if (!profile) {
        std::cerr << "vantrel-dataservice: there is no profile named " << args[0] << "\n";
        return 1;
    }
    for (const Collection& c : store.inventory().collections(profile->id)) {
        if (c.id != *id) continue;
        printItems(store.inventory().collectionItems(profile->id, c.id), std::cout);
        return 0;
    }
    std::cerr << "vantrel-dataservice: " << args[0] << " keeps no collection " << args[2] << "\n";
    return 1;
}

int listCollections(Store& store, const Words& args) {
    const auto profile = store.profiles().named(args[0]);
    if (!profile) {
        std::cerr << "vantrel-dataservice: there is no profile named " << args[0] << "\n";
        return 1;
    }
    printCollections(store.inventory().collections(profile->id), std::cout);
    return 0;
}

int listJournal(Store& store, const Words&) {
    printJournal(store.journal().all(), std::cout);
    return 0;
}

int purge(Store& store, const Words&) {
    const auto removed = store.purgeExpired();
    if (!removed) {
        std::cerr << "vantrel-dataservice: another process is purging this database; nothing done\n";
        return 1;
    }
    std::cout << *removed << " evaluation profiles expired\n";
    return 0;
}

const Command kCommands[] = {
    {"add-account", 2, addAccount},       {"remove-account", 1, removeAccount},
    {"list-accounts", 0, listAccounts},   {"allow-version", 1, allowVersion},
    {"disallow-version", 1, disallowVersion}, {"list-versions", 0, listVersions},
    {"list-items", 1, listItems},         {"list-items", 3, listItemsOf},
    {"list-collections", 1, listCollections}, {"list-journal", 0, listJournal},
    {"purge", 0, purge},
};

}  // namespace

std::optional<int> runCommand(Store& store, const std::vector<std::string>& words) {
    for (const Command& command : kCommands)
        if (words[0] == command.name && words.size() == command.arguments + 1)
            return command.run(store, Words(words.begin() + 1, words.end()));
    return std::nullopt;
}

}  // namespace dataservice::cli
