// Uploads per second into the data service over one kept-alive connection: the raw HTTP
// client, and the collector's own client (curl record source and record-set reader).
#include <benchmark/benchmark.h>
#include <httplib.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

#include "dataservice/common/passwords.h"
#include "dataservice/server.h"
#include "dataservice/store/store.h"
#include "platform/recordset/recordset.h"
#include "client/service.h"
#include "tests/support/scratch_dir.h"

namespace {

constexpr int kItems = 3000;

// A fresh database with one account (at the full iteration count) and the server on it.
class Service {
public:
    Service() {
        store_ = std::make_unique<dataservice::Store>(dir_.file("bench.db"));
        store_->profiles().addAccount("bench", "bench password");
        server_ = std::make_unique<dataservice::Server>(*store_);
        server_->start();
    }
    ~Service() {
        server_->stop();
        server_.reset();
        store_.reset();
    }
    int port() const { return server_->port(); }
    std::string address() const { return server_->address(); }
    std::size_t stored() { return store_->inventory().items(store_->profiles().subscriber("bench")->id).size(); }

private:
    ScratchDir dir_{"bench"};
    std::unique_ptr<dataservice::Store> store_;
    std::unique_ptr<dataservice::Server> server_;
};

void BM_UploadsOverOneConnection(benchmark::State& state) {
    Service service;
    std::size_t stored = 0;
    {
        httplib::Client client("127.0.0.1", service.port());
        client.set_keep_alive(true);
        client.set_url_encode(false);
        int n = 0;
        for (auto _ : state) {
            const std::string target =
                "/sftdata.asp?UID=bench&qIS=Program%20number%20" + std::to_string(++n) + "&PWD=bench%20password";
            const auto res = client.Get(target.c_str());
            if (!res || res->status != 200) state.SkipWithError("an upload failed");
        }
        stored = service.stored();
    }
    state.counters["uploads/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["stored"] = static_cast<double>(stored);
}
BENCHMARK(BM_UploadsOverOneConnection)->Iterations(kItems)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_UploadsThroughTheCollectorsClient(benchmark::State& state) {
    Service service;
    const std::string serverPath = service.address();
    const service::Identity who{true, "bench", "bench password", ""};
    std::size_t stored = 0;
    {
        auto source = platform::makeHttpRecordSource();
        service::ServiceClient client(*source, serverPath);
        int n = 0;
        for (auto _ : state) {
            try {
                client.ServiceRequest(
                    service::UploadRequest(service::Upload::Software, who, {"Program number " + std::to_string(++n)}));
            } catch (const std::exception&) {
                state.SkipWithError("an upload failed");
            }
        }
        stored = service.stored();
    }
    state.counters["uploads/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["stored"] = static_cast<double>(stored);
}
BENCHMARK(BM_UploadsThroughTheCollectorsClient)->Iterations(kItems)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

// The check every upload of a run makes before its transaction: is this name and password the
// pair proven a moment ago?
void BM_RememberedPasswordCheck(benchmark::State& state) {
    dataservice::PasswordVerifier verifier(std::chrono::minutes(10));
    const std::string stored = dataservice::hashPassword("bench password", 1000);
    if (!verifier.verify("bench", "bench password", stored)) state.SkipWithError("the password was not verified");
    for (auto _ : state) benchmark::DoNotOptimize(verifier.rememberedHash("bench", "bench password"));
}
BENCHMARK(BM_RememberedPasswordCheck)->Unit(benchmark::kNanosecond);

BENCHMARK_MAIN();
