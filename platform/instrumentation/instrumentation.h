#pragma once
// Management instrumentation: connect by moniker, run a query given as text, enumerate the
// instances in order, read a named property as a value that may be null.
#include <memory>
#include <optional>
#include <string>

namespace platform {

// A property value: text, or null.
using PropertyValue = std::optional<std::string>;

class Instance {
public:
    virtual ~Instance() = default;
    // Throws PlatformError for a property the query did not select or the class lacks.
    virtual PropertyValue Get(const std::string& property) const = 0;
};

class QueryResult {
public:
    virtual ~QueryResult() = default;
    // The next instance in order, or null at the end. Throws PlatformError when it fails.
    virtual std::unique_ptr<Instance> Next() = 0;
};

class InstrumentationServices {
public:
    virtual ~InstrumentationServices() = default;
    // Throws PlatformError for a query it cannot parse or a class it does not know.
    virtual std::unique_ptr<QueryResult> ExecQuery(const std::string& query) = 0;
};

class Instrumentation {
public:
    virtual ~Instrumentation() = default;
    // The services object that `moniker` names. Throws PlatformError when it cannot be had.
    virtual std::unique_ptr<InstrumentationServices> Connect(const std::string& moniker) = 0;
};

// The live machine below the system root (VANTREL_SYSROOT, else /).
std::unique_ptr<Instrumentation> makeSystemInstrumentation();

}  // namespace platform
