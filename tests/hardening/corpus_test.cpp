// Every input the fuzzer has kept, replayed as a regression test.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "hardening/host_calls.h"

#ifndef ORBELUNE_CORPUS_DIR
#error "ORBELUNE_CORPUS_DIR must name the committed corpus"
#endif

namespace {

TEST(HostCallCorpus, EveryKeptSessionHoldsTheInvariants) {
    int sessions = 0;
    for (const auto& entry : std::filesystem::directory_iterator(ORBELUNE_CORPUS_DIR)) {
        std::ifstream file(entry.path(), std::ios::binary);
        const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        SCOPED_TRACE(entry.path().string());
        hardening::runHostCalls(bytes.data(), bytes.size());
        ++sessions;
    }
    EXPECT_GT(sessions, 0);
}

}  // namespace
