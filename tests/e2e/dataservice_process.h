#pragma once
// The reference data service as a child process on 127.0.0.1, with a fresh database in a
// temporary folder of its own. Every wait is bounded; the destructor stops the server.
#include <string>
#include <vector>

#include <sys/types.h>

namespace e2e {

class DataService {
public:
    DataService();   // makes the folder; the server is not started yet
    ~DataService();  // stops the server (when running) and removes the folder
    DataService(const DataService&) = delete;
    DataService& operator=(const DataService&) = delete;

    // True when the program was built; tests skip without it.
    static bool Available();

    // Runs `vantrel-dataservice --db FILE args...` to its end; its standard output, one entry a
    // line. Fails the test on a non-zero exit.
    std::vector<std::string> Command(const std::vector<std::string>& args);

    // Starts the server on a port of its own choosing, with further options, and waits for its
    // "listening on" line.
    void Start(const std::vector<std::string>& options = {});
    // Stops the server and waits for it to end.
    void Stop();

    // "http://127.0.0.1:PORT/" (https with a certificate), known once started.
    const std::string& Base() const { return base_; }

    // The pages of the journal, in arrival order ("getdata.asp", ...).
    std::vector<std::string> JournalPages();
    // "category<TAB>text" of a profile's items, in arrival order.
    std::vector<std::string> Items(const std::string& profile) { return Command({"list-items", profile}); }

private:
    std::string folder_;
    std::string db_;
    std::string base_;
    pid_t server_ = -1;
    int serverOut_ = -1;
};

}  // namespace e2e
