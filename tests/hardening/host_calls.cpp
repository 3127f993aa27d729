#include "hardening/host_calls.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "vst2/instance.h"
#include "hardening/byte_reader.h"
#include "unit/test_host.h"

namespace hardening {

namespace {

constexpr int kMaxInstances = 3;
constexpr int kMaxFrames = 4096;
constexpr float kOutputLimit = 0.99000001f;

[[noreturn]] void violated(const char* what) {
    std::fprintf(stderr, "host-call invariant violated: %s\n", what);
    std::abort();
}

struct Session {
    vst::AEffect* instances[kMaxInstances] = {};
    int live = 0;
    std::vector<float> left = std::vector<float>(kMaxFrames);
    std::vector<float> right = std::vector<float>(kMaxFrames);
    std::vector<float> outLeft = std::vector<float>(kMaxFrames);
    std::vector<float> outRight = std::vector<float>(kMaxFrames);
    char text[256] = {};

    ~Session() {
        for (auto*& effect : instances) {
            if (effect != nullptr) testhost::dispatch(effect, vst::effClose);
            effect = nullptr;
        }
    }

    vst::AEffect*& slot(ByteReader& reader) { return instances[reader.byte() % kMaxInstances]; }
};

void fillInput(ByteReader& reader, std::vector<float>& channel, int frames) {
    const std::uint8_t pattern = reader.byte();
    const float value = reader.anyFloat();
    for (int frame = 0; frame < frames; ++frame) {
        switch (pattern % 4) {
            case 0: channel[frame] = value; break;                                     // constant, maybe NaN
            case 1: channel[frame] = frame == 0 ? value : 0.0f; break;                 // one bad sample
            case 2: channel[frame] = std::sin(0.01f * static_cast<float>(frame)); break;  // ordinary audio
            default: channel[frame] = static_cast<float>((frame * 7919) % 2001 - 1000) / 1000.0f; break;
        }
    }
}

// A processed block stays finite and within the limit; a passed-through one is
// the host's own input, bit for bit.
void checkOutput(const std::vector<float>& channel, const std::vector<float>& input, int frames, bool passedThrough) {
    for (int frame = 0; frame < frames; ++frame) {
        if (passedThrough) {
            if (std::memcmp(&channel[frame], &input[frame], sizeof(float)) != 0) violated("bypassed sample");
        } else if (!std::isfinite(channel[frame]) || std::fabs(channel[frame]) > kOutputLimit) {
            violated("output sample");
        }
    }
}

bool passesThrough(vst::AEffect* effect) {
    const auto* instance = orbelune::instanceOf(effect);
    return instance->plugin.hostBypass.load() != 0 || effect->getParameter(effect, orbelune::kParamBypass) > 0.5f;
}

void process(Session& session, vst::AEffect* effect, ByteReader& reader) {
    const std::uint8_t mode = reader.byte();
    const int frames = static_cast<int>(reader.word() % (kMaxFrames + 1));
    fillInput(reader, session.left, frames);
    fillInput(reader, session.right, frames);
    float* inputs[] = {session.left.data(), session.right.data()};
    float* separate[] = {session.outLeft.data(), session.outRight.data()};
    const bool inPlace = (mode & 1) != 0;
    float** outputs = inPlace ? inputs : separate;
    const int frameArgument = (mode & 2) != 0 && frames == 0 ? -static_cast<int>(reader.byte()) : frames;
    const std::vector<float> originalLeft = session.left, originalRight = session.right;
    const bool passedThrough = passesThrough(effect);
    effect->processReplacing(effect, inputs, outputs, frameArgument);
    const int written = frameArgument > 0 ? frameArgument : 0;
    checkOutput(inPlace ? session.left : session.outLeft, originalLeft, written, passedThrough);
    checkOutput(inPlace ? session.right : session.outRight, originalRight, written, passedThrough);
}

void dispatchAnything(Session& session, vst::AEffect*& effect, ByteReader& reader) {
    const vst::int32 opcode = static_cast<vst::int32>(reader.byte() % 91) - 10;  // -10 to 80
    const vst::int32 index = static_cast<vst::int32>(reader.word());
    const vst::intptr value = static_cast<vst::int32>(reader.word());
    const float opt = reader.anyFloat();
    void* ptr = nullptr;
    vst::ERect* rect = nullptr;
    switch (opcode) {
        case vst::effGetParamLabel:
        case vst::effGetParamDisplay:
        case vst::effGetParamName:
        case vst::effGetEffectName:
        case vst::effGetVendorString:
        case vst::effGetProductString:
            ptr = session.text;
            break;
        case vst::effCanDo:
            std::snprintf(session.text, sizeof session.text, "%s", (reader.byte() & 1) ? "2in2out" : "bogus");
            ptr = session.text;
            break;
        case vst::effEditGetRect:
            ptr = &rect;
            break;
        case vst::effEditOpen:
            return;  // needs a real parent window; the editor has its own tests
        default:
            break;
    }
    testhost::dispatch(effect, opcode, index, value, ptr, opt);
    if (opcode == vst::effClose) {
        effect = nullptr;
        --session.live;
    }
}

void checkState(const Session& session) {
    if (orbelune::module.instanceCount != session.live) violated("instance count");
    for (auto* effect : session.instances) {
        if (effect == nullptr) continue;
        for (int index = 0; index < orbelune::kParamCount; ++index) {
            const float value = effect->getParameter(effect, index);
            if (!(value >= 0.0f && value <= 1.0f)) violated("parameter range");
        }
    }
}

}  // namespace

void runHostCalls(const std::uint8_t* data, std::size_t size) {
    ByteReader reader(data, size);
    Session session;
    const int liveBefore = orbelune::module.instanceCount;
    session.live = liveBefore;
    for (int call = 0; call < 256 && !reader.done(); ++call) {
        const std::uint8_t action = reader.byte() % 8;
        vst::AEffect*& effect = session.slot(reader);
        if (effect == nullptr) {
            effect = VSTPluginMain(stubhost::hostCallback);
            if (effect == nullptr) violated("creation failed");
            ++session.live;
        } else if (action == 0) {
            dispatchAnything(session, effect, reader);
        } else if (action == 1) {
            effect->setParameter(effect, static_cast<vst::int32>(reader.byte() % 10) - 1, reader.anyFloat());
        } else if (action == 2) {
            effect->getParameter(effect, static_cast<vst::int32>(reader.word()));
        } else if (action == 3) {
            testhost::dispatch(effect, vst::effSetSampleRate, 0, 0, nullptr, reader.anyFloat());
        } else if (action == 4) {
            testhost::dispatch(effect, vst::effSetBypass, 0, reader.byte() & 1);
        } else {
            process(session, effect, reader);
        }
        checkState(session);
    }
}

}  // namespace hardening
