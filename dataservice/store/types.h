#pragma once
// What the store keeps, as its callers see it.
#include <cstdint>
#include <optional>
#include <string>

#include "dataservice/common/passwords.h"

namespace dataservice {

// Seconds since the epoch; the store takes its clock as an option so tests can move it.
using UnixClock = std::int64_t (*)();
std::int64_t systemUnixTime();
// Local time now as "YYYY-MM-DDTHH:MM:SS", the form of a record set's dateTime.
std::string localTimestamp();

struct StoreOptions {
    // PBKDF2 iterations for new accounts (stored with each hash, so it can change later).
    int passwordIterations = kDefaultPasswordIterations;
    // An evaluation profile with no upload for this long is gone.
    std::int64_t evaluationLifetimeSeconds = 30 * 24 * 3600;
    // The journal keeps entries this young, and at most this many of them.
    std::int64_t journalMaxAgeSeconds = 30 * 24 * 3600;
    std::int64_t journalMaxEntries = 100000;
    // Each profile keeps its last this many collections; a reset beyond them drops the oldest.
    int keepCollections = 5;
    // Transactions that may wait for the database; past that, requests are answered "busy".
    std::size_t maxQueued = 16384;
    UnixClock clock = &systemUnixTime;
};

// A signed-in browser: which profile, and the token its forms must carry.
struct Session {
    std::int64_t profileId = 0;
    std::string csrfToken;
    std::int64_t expires = 0;  // unix seconds
};

// Failed sign-ins are counted per account name and per client address, in fixed windows.
struct SignInLimits {
    int perAccount = 5;
    int perAddress = 20;
    std::int64_t windowSeconds = 15 * 60;
};

struct Version {
    std::int64_t major = 0, minor = 0, rev = 0;
    friend bool operator==(const Version&, const Version&) = default;
};

enum class ProfileKind { Subscriber, Evaluation };

struct Profile {
    std::int64_t id = 0;
    ProfileKind kind = ProfileKind::Subscriber;
    std::string name;        // the user name, or the evaluation identifier
    std::string created;     // "YYYY-MM-DDTHH:MM:SS", local time
    std::string lastUpdate;  // set by a completed run
    std::optional<std::string> runStarted;    // the last profile reset
    std::optional<std::string> runCompleted;  // finalize after that reset
};

struct Credentials {
    std::int64_t profileId = 0;
    std::string passwordHash;
    friend bool operator==(const Credentials&, const Credentials&) = default;
};

// One run's inventory: from its reset, complete once the run finalized it.
struct Collection {
    std::int64_t id = 0;
    std::string started;                   // "YYYY-MM-DDTHH:MM:SS", local time
    std::optional<std::string> completed;  // the same, when finalized
    std::int64_t items = 0;
};

struct Item {
    std::int64_t seq = 0;  // arrival order across the whole database
    std::string category;
    std::string text;
    std::optional<std::string> configDate;  // the BIOS page's configuration date, as sent
};

}  // namespace dataservice
