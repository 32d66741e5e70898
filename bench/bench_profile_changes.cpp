// The signed-in profile page and both downloads for a collection of 20,000 programs compared
// with one of 20,000 (a tenth updated, a few hundred added and removed), over HTTP from the
// service on 127.0.0.1, SQLite.
#include <benchmark/benchmark.h>
#include <httplib.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

#include "dataservice/server.h"
#include "dataservice/store/store.h"

namespace {

constexpr int kPrograms = 20000;

struct Service {
    std::filesystem::path dir;
    std::unique_ptr<dataservice::Store> store;
    std::unique_ptr<dataservice::Server> server;
    std::unique_ptr<httplib::Client> client;
    std::string cookie;

    Service() {
        std::string pattern = (std::filesystem::temp_directory_path() / "vantrel-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        dir = pattern;
        dataservice::StoreOptions options;
        options.passwordIterations = 1000;
        store = std::make_unique<dataservice::Store>((dir / "bench.db").string(), options);
        store->profiles().addAccount("bench", "pw");
        const std::int64_t id = store->profiles().subscriber("bench")->id;
        for (int run = 0; run < 2; ++run) {
            store->inventory().reset(id);
            store->transaction([&] {
                for (int i = 0; i < kPrograms; ++i) {
                    // The second run: every tenth program updated, 300 gone and 300 new.
                    const int n = run == 1 && i % 67 == 0 ? kPrograms + i : i;
                    const std::string version = run == 1 && i % 10 == 0 ? "2." + std::to_string(i % 7) : "1.0";
                    store->inventory().add(id, "Software", "Program " + std::to_string(n) + " v" + version);
                }
                store->inventory().add(id, "BIOS", "Firmware 2.4", std::string(run ? "7/1/2025" : "6/1/2025"));
            });
            store->inventory().finalize(id);
        }
        server = std::make_unique<dataservice::Server>(*store, dataservice::ServerOptions{});
        server->start();
        client = std::make_unique<httplib::Client>("127.0.0.1", server->port());
        client->set_read_timeout(60, 0);
        const auto form = client->Get("/profile/hwsw.asp");
        std::string token;
        for (std::size_t i = 0; form && i < form->get_header_value_count("Set-Cookie"); ++i) {
            const std::string c = form->get_header_value("Set-Cookie", i);
            if (c.rfind("vantrel_form=", 0) == 0) token = c.substr(13, 64);
        }
        const auto signedIn = client->Post("/profile/hwsw.asp", httplib::Headers{{"Cookie", "vantrel_form=" + token}},
                                           "action=signin&form=" + token + "&UID=bench&PWD=pw",
                                           "application/x-www-form-urlencoded");
        if (!signedIn) throw std::runtime_error("no sign-in answer");
        for (std::size_t i = 0; i < signedIn->get_header_value_count("Set-Cookie"); ++i) {
            const std::string c = signedIn->get_header_value("Set-Cookie", i);
            if (c.rfind("vantrel_session=", 0) == 0) cookie = c.substr(0, c.find(';'));
        }
        if (cookie.empty()) throw std::runtime_error("the sign-in failed");
    }
    ~Service() {
        client.reset();
        server->stop();
        server.reset();
        store.reset();
        std::filesystem::remove_all(dir);
    }
};

Service& service() {
    static Service s;
    return s;
}

void fetch(benchmark::State& state, const char* target) {
    Service& s = service();
    std::size_t bytes = 0;
    for (auto _ : state) {
        const auto res = s.client->Get(target, httplib::Headers{{"Cookie", s.cookie}});
        if (!res || res->status != 200) {
            state.SkipWithError("no answer");
            return;
        }
        bytes = res->body.size();
    }
    state.counters["bytes"] = static_cast<double>(bytes);
}

void BM_ProfilePageWithChanges(benchmark::State& state) { fetch(state, "/profile/hwsw.asp"); }
void BM_DownloadCsv(benchmark::State& state) { fetch(state, "/profile/hwsw.asp?download=csv"); }
void BM_DownloadJson(benchmark::State& state) { fetch(state, "/profile/hwsw.asp?download=json"); }
void BM_DownloadCsvFiltered(benchmark::State& state) { fetch(state, "/profile/hwsw.asp?download=csv&filter=program%2012"); }

BENCHMARK(BM_ProfilePageWithChanges)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_DownloadCsv)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_DownloadJson)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_DownloadCsvFiltered)->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace

BENCHMARK_MAIN();
