#include "platform/instrumentation/linux/system_instrumentation.h"

#include <cstdlib>

#include "platform/common/errors.h"
#include "platform/instrumentation/linux/providers.h"
#include "platform/instrumentation/query.h"

namespace platform {

namespace {

using instr::ClassProvider;
using instr::Row;

// What one connection shares with its queries: the tree and the PCI name list.
struct Machine {
    explicit Machine(const std::string& rootFolder)
        : root(rootFolder), pci(idsFileOf(root)) {}

    static std::optional<std::string> idsFileOf(const instr::SysRoot& root) {
        constexpr const char* kIds = "/usr/share/misc/pci.ids";
        if (root.isLive() || !root.exists(kIds)) return std::nullopt;
        return root.hostPath(kIds);
    }

    instr::SysRoot root;
    instr::PciNames pci;
};

class TreeInstance : public Instance {
public:
    TreeInstance(const ClassProvider& cls, std::shared_ptr<const std::vector<bool>> selected, Row row)
        : class_(cls), selected_(std::move(selected)), row_(std::move(row)) {}

    PropertyValue Get(const std::string& property) const override {
        for (std::size_t i = 0; i < class_.properties.size(); ++i) {
            if (!instr::sameName(class_.properties[i], property)) continue;
            if (!(*selected_)[i])
                throw PlatformError("Property " + property + " was not selected from " +
                                    std::string(class_.className));
            return i < row_.size() ? row_[i] : std::nullopt;
        }
        throw PlatformError("Class " + std::string(class_.className) + " has no property " + property);
    }

private:
    const ClassProvider& class_;
    std::shared_ptr<const std::vector<bool>> selected_;
    Row row_;
};

class TreeQueryResult : public QueryResult {
public:
    TreeQueryResult(const ClassProvider& cls, std::shared_ptr<const std::vector<bool>> selected,
                    std::vector<Row> rows)
        : class_(cls), selected_(std::move(selected)), rows_(std::move(rows)) {}

    std::unique_ptr<Instance> Next() override {
        if (next_ >= rows_.size()) return nullptr;
        return std::make_unique<TreeInstance>(class_, selected_, std::move(rows_[next_++]));
    }

private:
    const ClassProvider& class_;
    std::shared_ptr<const std::vector<bool>> selected_;
    std::vector<Row> rows_;
    std::size_t next_ = 0;
};

class TreeServices : public InstrumentationServices {
public:
    explicit TreeServices(std::shared_ptr<Machine> machine) : machine_(std::move(machine)) {}

    std::unique_ptr<QueryResult> ExecQuery(const std::string& query) override {
        const instr::ParsedQuery parsed = instr::parseQuery(query);
        const ClassProvider* cls = instr::findProvider(parsed.className);
        if (!cls) throw PlatformError("Invalid class: " + parsed.className);

        auto selected = std::make_shared<std::vector<bool>>(cls->properties.size(), parsed.allProperties);
        for (const auto& name : parsed.properties) {
            bool known = false;
            for (std::size_t i = 0; i < cls->properties.size(); ++i) {
                if (instr::sameName(cls->properties[i], name)) {
                    (*selected)[i] = true;
                    known = true;
                }
            }
            if (!known) throw PlatformError("Invalid query: " + parsed.className + " has no property " + name);
        }

        instr::ProviderContext ctx{machine_->root, machine_->pci};
        std::vector<Row> rows;
        try {
            rows = cls->collect(ctx);
        } catch (const std::exception& e) {
            // Out of memory and the like; file trouble never gets here.
            throw PlatformError(std::string("Query failed: ") + e.what());
        }
        return std::make_unique<TreeQueryResult>(*cls, std::move(selected), std::move(rows));
    }

private:
    std::shared_ptr<Machine> machine_;
};

class TreeInstrumentation : public Instrumentation {
public:
    explicit TreeInstrumentation(std::string root) : root_(std::move(root)) {}

    std::unique_ptr<InstrumentationServices> Connect(const std::string& moniker) override {
        if (!instr::isLocalCimv2Moniker(moniker)) throw PlatformError("Invalid namespace: " + moniker);
        return std::make_unique<TreeServices>(std::make_shared<Machine>(root_));
    }

private:
    std::string root_;
};

}  // namespace

std::unique_ptr<Instrumentation> makeInstrumentationAt(std::string root) {
    return std::make_unique<TreeInstrumentation>(std::move(root));
}

std::unique_ptr<Instrumentation> makeSystemInstrumentation() {
    const char* root = std::getenv("VANTREL_SYSROOT");
    return makeInstrumentationAt(root && *root ? root : "/");
}

}  // namespace platform
