// Every input the fuzzers have kept, replayed as regression tests.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "hardening/clap_calls.h"
#include "hardening/host_calls.h"
#include "hardening/vst3_calls.h"

#if !defined(ORBELUNE_CORPUS_DIR) || !defined(ORBELUNE_VST3_CORPUS_DIR) || !defined(ORBELUNE_CLAP_CORPUS_DIR)
#error "ORBELUNE_CORPUS_DIR, ORBELUNE_VST3_CORPUS_DIR and ORBELUNE_CLAP_CORPUS_DIR must name the committed corpora"
#endif

namespace {

int replay(const char* directory, void (*run)(const std::uint8_t*, std::size_t)) {
    int sessions = 0;
    for (const auto& entry : std::filesystem::directory_iterator(directory)) {
        std::ifstream file(entry.path(), std::ios::binary);
        const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        SCOPED_TRACE(entry.path().string());
        run(bytes.data(), bytes.size());
        ++sessions;
    }
    return sessions;
}

TEST(HostCallCorpus, EveryKeptSessionHoldsTheInvariants) {
    EXPECT_GT(replay(ORBELUNE_CORPUS_DIR, hardening::runHostCalls), 0);
}

TEST(Vst3CallCorpus, EveryKeptSessionHoldsTheInvariants) {
    EXPECT_GT(replay(ORBELUNE_VST3_CORPUS_DIR, hardening::runVst3Calls), 0);
}

TEST(ClapCallCorpus, EveryKeptSessionHoldsTheInvariants) {
    EXPECT_GT(replay(ORBELUNE_CLAP_CORPUS_DIR, hardening::runClapCalls), 0);
}

}  // namespace
