// SPDX-License-Identifier: GPL-3.0-or-later
// The trainer's own voice: real flite synthesis into a sound device of the
// test's own (testbed/voice_fakes.h), or into no device at all. Waits have
// generous deadlines; nothing here measures speed.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>

#include "speech/engine_chain.h"
#include "voices/embedded_voice.h"
#include "voices/loaded_libraries.h"
#include "speech/worker.h"
#include "testbed/voice_fakes.h"

namespace {

using namespace std::chrono_literals;
using Samples = std::vector<std::int16_t>;
constexpr int kThreshold = voices::QuietTrim::kThreshold;
constexpr const char* kWelcome = "welcome to abacorn, standard mode. click on flashcard to begin.";

bool loud(std::int16_t s) { return s > kThreshold || s < -kThreshold; }

// Waits until the voice has played something and then stopped.
void waitUntilSaid(const testbed::SoundDevice& device) {
    ASSERT_TRUE(testbed::eventually([&] { return !device.sinceLastFlush().empty() && device.silentFor(400ms); }));
}

// What this process keeps resident of the files whose path contains `name`.
long residentKb(const std::string& name) {
    std::ifstream smaps("/proc/self/smaps");
    long kb = 0;
    bool counting = false;
    for (std::string line; std::getline(smaps, line);) {
        if (line.rfind("Rss:", 0) == 0) {
            if (counting) kb += std::stol(line.substr(4));
        } else if (line.find('-') < line.find(' ')) {
            counting = line.find(name) != std::string::npos;  // a mapping's first line
        }
    }
    return kb;
}

// Quiet lead-in with the voice's hiss, a word, a second of quiet, a word,
// quiet tail; handed over in pieces of every size.
TEST(QuietTrim, CutsTheEndsAndShortensPausesWhateverThePieces) {
    constexpr int kRate = 16000;
    std::mt19937 random(7);
    std::uniform_int_distribution<int> hiss(-80, 80);
    Samples wave;
    auto quiet = [&](int ms) {
        for (int i = 0; i < kRate / 1000 * ms; ++i) wave.push_back(static_cast<std::int16_t>(hiss(random)));
    };
    auto word = [&](int ms) {
        for (int i = 0; i < kRate / 1000 * ms; ++i) wave.push_back(static_cast<std::int16_t>(i % 2 ? 3000 : -3000));
    };
    quiet(230);
    word(300);
    quiet(1000);
    word(200);
    quiet(170);

    for (std::size_t piece : {std::size_t{1}, std::size_t{256}, std::size_t{1000}, wave.size()}) {
        voices::QuietTrim trim(kRate);
        Samples out;
        for (std::size_t at = 0; at < wave.size(); at += piece)
            trim.add(wave.data() + at, std::min(piece, wave.size() - at), out);
        ASSERT_FALSE(out.empty());
        EXPECT_TRUE(loud(out.front())) << "piece " << piece;
        EXPECT_TRUE(loud(out.back())) << "piece " << piece;
        // Both words whole, and a quarter of a second of the pause.
        EXPECT_EQ(out.size(), static_cast<std::size_t>(kRate / 1000 * (300 + 250 + 200))) << "piece " << piece;
    }
}

TEST(EmbeddedVoice, TheTrimmedWaveformStartsAndEndsWithSound) {
    testbed::SoundDevice device;
    auto voice = voices::createEmbeddedVoice(device.opener());
    ASSERT_TRUE(voice) << "libflite or its voice is missing";
    voice->speak("24");
    waitUntilSaid(device);
    const Samples said = device.sinceLastFlush();
    EXPECT_TRUE(loud(said.front()));
    EXPECT_TRUE(loud(said.back()));
    // flite makes 1.1 s of it, about 0.4 s of which is quiet at the ends.
    EXPECT_GT(said.size(), 16000u * 4 / 10);
    EXPECT_LT(said.size(), 16000u * 9 / 10);
}

TEST(EmbeddedVoice, ASecondTextStopsTheFirstAtOnceAndIsSpokenWhole) {
    testbed::SoundDevice device;
    device.paced = true;  // the welcome sounds for seconds
    auto voice = voices::createEmbeddedVoice(device.opener());
    ASSERT_TRUE(voice);
    voice->speak(kWelcome);
    ASSERT_TRUE(testbed::eventually([&] { return device.sinceLastFlush().size() > 16000 / 2; }));
    const auto cutAt = std::chrono::steady_clock::now();
    voice->speak("24");
    waitUntilSaid(device);

    const auto played = device.played();
    std::size_t welcomeAfterCut = 0, welcome = 0;
    bool flushed = false;
    for (const auto& e : played) {
        if (e.samples.empty() && e.at >= cutAt) flushed = true;
        if (flushed) break;
        welcome += e.samples.size();
        if (e.at > cutAt) welcomeAfterCut += e.samples.size();
    }
    EXPECT_TRUE(flushed) << "what was buffered of the welcome was not dropped";
    EXPECT_LT(welcome, 16000u * 3) << "the welcome was not cut";
    // At most the piece under way when the text came (20 ms) and the next.
    EXPECT_LE(welcomeAfterCut, 640u);
    const Samples answer = device.sinceLastFlush();
    ASSERT_FALSE(answer.empty());
    EXPECT_TRUE(loud(answer.front()));
    EXPECT_TRUE(loud(answer.back()));
    EXPECT_GT(answer.size(), 16000u * 4 / 10) << "the answer was not spoken whole";
    EXPECT_LT(answer.size(), 16000u * 9 / 10) << "the rest of the welcome came after the answer";
}

TEST(EmbeddedVoice, HandingBackTheLoaderTablesLeavesEveryLibraryWorking) {
    testbed::SoundDevice device;
    auto voice = voices::createEmbeddedVoice(device.opener());
    ASSERT_TRUE(voice);
    // Another voice, not loaded yet: 1.1 MB of relocations for its model.
    void* rms = dlopen("libflite_cmu_us_rms.so.1", RTLD_NOW | RTLD_LOCAL);
    ASSERT_TRUE(rms) << dlerror();
    const long before = residentKb("libflite_cmu_us_rms");
    voices::dropLoaderTables();
    EXPECT_GT(before - residentKb("libflite_cmu_us_rms"), 1000);
    // Lookups read the tables again from the file; what was loaded still runs.
    EXPECT_NE(dlsym(rms, "register_cmu_us_rms"), nullptr);
    EXPECT_NE(dlopen("libpulse-simple.so.0", RTLD_NOW | RTLD_LOCAL), nullptr);
    voice->speak("24");
    waitUntilSaid(device);
    EXPECT_GT(device.sinceLastFlush().size(), 16000u * 4 / 10);
}

TEST(EmbeddedVoice, WithoutASoundServerItDoesNotStartAndOneGoneForGoodBreaksIt) {
    // No device at all, and a sound server that is not there.
    testbed::SoundDevice absent;
    absent.absent = true;
    setenv("PULSE_SERVER", "unix:/nonexistent/abacorn-test", 1);
    EXPECT_FALSE(voices::createEmbeddedVoice(absent.opener()));
    EXPECT_FALSE(voices::createEmbeddedVoice(voices::pulseAudio()));
    // One that refuses the first connection is asked again.
    testbed::SoundDevice busy;
    busy.refuse = voices::kOpenAttempts - 1;
    EXPECT_TRUE(voices::createEmbeddedVoice(busy.opener()));

    // A server that goes away in the first word and is still gone at the
    // next text: the voice tells it broke, once, and stays silent.
    testbed::SoundDevice device;
    device.failAfter = 16000 / 10;
    auto voice = voices::createEmbeddedVoice(device.opener());
    ASSERT_TRUE(voice);
    std::atomic<int> broke{0};
    voice->whenBroken([&] { ++broke; });
    voice->speak("twenty four");
    ASSERT_TRUE(testbed::eventually([&] { return device.samplesPlayed() > 0 && device.silentFor(300ms); }));
    EXPECT_EQ(broke, 0) << "a text cut by the server is not yet a broken voice";
    device.absent = true;
    voice->speak("seven");
    ASSERT_TRUE(testbed::eventually([&] { return broke == 1; }));
    const std::size_t before = device.samplesPlayed();
    voice->speak("eight");
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(device.samplesPlayed(), before);
    std::atomic<int> toldLate{0};
    voice->whenBroken([&] { ++toldLate; });  // asked after it broke: told at once
    EXPECT_EQ(toldLate, 1);
    EXPECT_EQ(broke, 1);
}

TEST(EmbeddedVoice, AfterTheSoundServerWentAwayMidWordTheNextTextIsHeard) {
    testbed::SoundDevice device;
    device.failAfter = 16000 / 10;  // gone 0.1 s into the first word
    auto voice = voices::createEmbeddedVoice(device.opener());
    ASSERT_TRUE(voice);
    voice->speak("twenty four");
    ASSERT_TRUE(testbed::eventually([&] { return device.opens() == 1 && device.silentFor(300ms); }));
    device.failAfter = SIZE_MAX;  // back again, and busy: it refuses the first connection
    device.refuse = 1;
    std::atomic<int> broke{0};
    voice->whenBroken([&] { ++broke; });
    const std::size_t before = device.samplesPlayed();
    voice->speak("seven");
    ASSERT_TRUE(testbed::eventually([&] { return device.opens() == 2; }));
    waitUntilSaid(device);
    EXPECT_GT(device.samplesPlayed() - before, 16000u * 3 / 10) << "seven was not heard whole";
    EXPECT_TRUE(loud(device.played().back().samples.back()));
    EXPECT_EQ(broke, 0);
}

// A sound server that stops answering (stopped, as by SIGSTOP) mid-word:
// the write never returns. The voice counts as broken, the text it was
// saying goes to the voice after it, and so does the rest of the run.
TEST(EmbeddedVoice, AWriteThatNeverReturnsBreaksTheVoiceAndItsTextGoesOn) {
    testbed::SoundDevice device;
    device.hangAfter = 16000 / 10;
    auto next = std::make_shared<testbed::LockedVoice>();
    auto voice = speech::firstThatStarts({[&] { return voices::createEmbeddedVoice(device.opener()); },
                                          [&] { return std::shared_ptr<speech::SpeechEngine>(next); }});
    voice->speak("twenty four");
    ASSERT_TRUE(testbed::eventually([&] { return !next->said().empty(); }));
    voice->speak("seven");
    voice.reset();
    EXPECT_EQ(next->said(), (std::vector<std::string>{"twenty four", "seven"}));
    // The stuck thread, let go, touches the device no more.
    device.release();
    EXPECT_TRUE(testbed::eventually([&] { return device.outputsOpen() == 0; }));
}

}  // namespace
