#include <doctest/doctest.h>

#include "FakePlatform.h"
#include "common/PCSpk.h"
#include "common/Vantor.Utils.h"

using namespace vt;

namespace {

const std::u16string kSettings = u"Software\\Quellmark\\Vantor32\\Settings";
const std::u16string kSpeaker = u"Software\\Quellmark\\Vantor32\\Settings\\Speaker";
const std::u16string kScheme = u"AppEvents\\Schemes\\Apps\\Vantor32\\";

// Options and Speaker as the library has them after load, on the fake.
struct SoundScope {
    FakeScope scope;
    FakePlatform& fake = scope.fake;
    SoundScope(bool speakerMode = true) {
        VantorUtilsInit();
        PCSpkInit();
        fake.SetRegBinary(HKEY_CURRENT_USER, kSettings, u"Speaker benutzen",
                          {std::uint8_t(speakerMode ? 1 : 0)});
    }
    ~SoundScope() {
        PCSpkDone();
        VantorUtilsDone();
    }
    void Setting(const std::u16string& event, const std::u16string& text) {
        fake.SetRegString(HKEY_CURRENT_USER, kSpeaker, event, text);
    }
    bool NothingPlayed() const {
        return fake.beepTones.empty() && fake.sleeps.empty() && fake.portWrites.empty() &&
               fake.playedSounds.empty();
    }
};

using Writes = std::vector<std::pair<std::uint16_t, std::uint8_t>>;

}  // namespace

TEST_SUITE("speaker settings") {
    TEST_CASE("the event names") {
        const char16_t* names[9] = {u"",       u"Ein",         u"Aus",       u"Großschrift",
                                    u"Rollen", u"Zehnerblock", u"NUM Punkt", u"Umlaut",
                                    u"EasyTab"};
        for (int i = 0; i < 9; ++i) CHECK(SoundEventNames[i] == names[i]);
    }

    TEST_CASE("four fields in order") {
        TSpeakerSetting s;
        ParseSpeakerSetting(u"1000,50,3,25", s);
        CHECK(s.Freq == 1000);
        CHECK(s.Duration == 50);
        CHECK(s.Count == 3);
        CHECK(s.Pause == 25);
    }

    TEST_CASE("a trailing comma only closes the field before it") {
        TSpeakerSetting s{7, 7, 7, 7};
        ParseSpeakerSetting(u"800,100,", s);
        CHECK(s.Freq == 800);
        CHECK(s.Duration == 100);
        CHECK(s.Count == 7);  // not given: left as it was
        CHECK(s.Pause == 7);
    }

    TEST_CASE("a field that is not a number reads as 0") {
        TSpeakerSetting s{7, 7, 7, 7};
        ParseSpeakerSetting(u"800,abc,1,0", s);
        CHECK(s.Freq == 800);
        CHECK(s.Duration == 0);
        CHECK(s.Count == 1);
        CHECK(s.Pause == 0);
        ParseSpeakerSetting(u"12x,,99999999999,-2147483648", s);
        CHECK(s.Freq == 0);
        CHECK(s.Duration == 0);
        CHECK(s.Count == 0);
        CHECK(s.Pause == INT32_MIN);
    }

    TEST_CASE("a fifth field is ignored, an empty text fills nothing") {
        TSpeakerSetting s;
        ParseSpeakerSetting(u"1,2,3,4,5", s);
        CHECK(s.Freq == 1);
        CHECK(s.Pause == 4);
        TSpeakerSetting t{9, 9, 9, 9};
        ParseSpeakerSetting(u"", t);
        CHECK(t.Freq == 9);
        CHECK(t.Pause == 9);
    }

    TEST_CASE("signs and blanks around a number") {
        TSpeakerSetting s;
        ParseSpeakerSetting(u" 440 , -5,+2", s);
        CHECK(s.Freq == 440);
        CHECK(s.Duration == -5);
        CHECK(s.Count == 2);
    }
}

TEST_SUITE("PlaySound through the system beep") {
    // Under Wine Beep returns at once; the tones keep their length all the same.
    TEST_CASE("1000,50,3,25: three tones with two pauses, 200 ms in all") {
        for (bool beepReturnsAtOnce : {false, true}) {
            CAPTURE(beepReturnsAtOnce);
            SoundScope s;
            s.fake.beepReturnsAtOnce = beepReturnsAtOnce;
            s.Setting(u"Ein", u"1000,50,3,25");
            std::uint32_t start = s.fake.tickCount;
            CHECK(PlaySoundEvent(1));
            REQUIRE(s.fake.beepTones.size() == 3);
            for (int i = 0; i < 3; ++i) {
                CHECK(s.fake.beepTones[i].freq == 1000);
                CHECK(s.fake.beepTones[i].duration == 50);
                CHECK(s.fake.beepTones[i].at == start + 75 * i);
            }
            const std::vector<std::uint32_t> waits =
                beepReturnsAtOnce ? std::vector<std::uint32_t>{50, 25, 50, 25, 50}
                                  : std::vector<std::uint32_t>{25, 25};
            CHECK(s.fake.sleeps == waits);
            CHECK(s.fake.tickCount - start == 200);
            CHECK(s.fake.portWrites.empty());
            CHECK(s.fake.playedSounds.empty());
        }
    }

    TEST_CASE("440,100,1,500: one tone, the pause is never waited") {
        for (bool beepReturnsAtOnce : {false, true}) {
            CAPTURE(beepReturnsAtOnce);
            SoundScope s;
            s.fake.beepReturnsAtOnce = beepReturnsAtOnce;
            s.Setting(u"Aus", u"440,100,1,500");
            std::uint32_t start = s.fake.tickCount;
            CHECK(PlaySoundEvent(2));
            REQUIRE(s.fake.beepTones.size() == 1);
            CHECK(s.fake.beepTones[0].freq == 440);
            CHECK(s.fake.sleeps.size() == (beepReturnsAtOnce ? 1u : 0u));
            CHECK(s.fake.tickCount - start == 100);
        }
    }

    TEST_CASE("a frequency of 18 or less is silence for the duration") {
        SoundScope s;
        s.Setting(u"Rollen", u"18,100,2,10");
        s.Setting(u"Umlaut", u"0,30,1,0");
        std::uint32_t start = s.fake.tickCount;
        CHECK(PlaySoundEvent(4));
        CHECK(s.fake.beepTones.empty());
        CHECK(s.fake.sleeps == std::vector<std::uint32_t>{100, 10, 100});
        CHECK(PlaySoundEvent(7));
        CHECK(s.fake.tickCount - start == 240);
    }

    TEST_CASE("a tone the system beep refuses keeps its time as silence") {
        SoundScope s;
        s.Setting(u"Ein", u"30,60,1,0");
        CHECK(PlaySoundEvent(1));
        CHECK(s.fake.beepTones.empty());
        CHECK(s.fake.sleeps == std::vector<std::uint32_t>{60});
    }

    TEST_CASE("the low 16 bits of the frequency are played") {
        SoundScope s;
        s.Setting(u"Ein", u"66536,10,1,0");  // 0x103E8
        CHECK(PlaySoundEvent(1));
        REQUIRE(s.fake.beepTones.size() == 1);
        CHECK(s.fake.beepTones[0].freq == 1000);
    }

    TEST_CASE("count 0, negative or missing plays nothing") {
        SoundScope s;
        s.Setting(u"Ein", u"1000,50,0,25");
        s.Setting(u"Aus", u"1000,50,-3,25");
        s.Setting(u"EasyTab", u"800,100,");
        std::uint32_t start = s.fake.tickCount;
        CHECK(PlaySoundEvent(1));
        CHECK(PlaySoundEvent(2));
        CHECK(PlaySoundEvent(8));
        CHECK(s.NothingPlayed());
        CHECK(s.fake.tickCount == start);
    }

    TEST_CASE("negative durations and pauses count as 0") {
        SoundScope s;
        s.Setting(u"Ein", u"1000,-50,2,-25");
        std::uint32_t start = s.fake.tickCount;
        CHECK(PlaySoundEvent(1));
        CHECK(s.fake.sleeps.empty());
        CHECK(s.fake.tickCount == start);
    }

    TEST_CASE("huge values are bounded") {
        SoundScope s;
        s.Setting(u"Ein", u"1000,2000000000,1000000,2000000000");
        std::uint32_t start = s.fake.tickCount;
        CHECK(PlaySoundEvent(1));
        CHECK(s.fake.beepTones.size() == static_cast<std::size_t>(kMaxToneCount));
        CHECK(s.fake.beepTones[0].duration == static_cast<std::uint32_t>(kMaxToneMs));
        REQUIRE(s.fake.sleeps.size() == static_cast<std::size_t>(kMaxToneCount - 1));
        CHECK(s.fake.sleeps[0] == static_cast<std::uint32_t>(kMaxPauseMs));
        CHECK(s.fake.tickCount - start ==
              static_cast<std::uint32_t>(kMaxToneCount * kMaxToneMs +
                                         (kMaxToneCount - 1) * kMaxPauseMs));
    }

    TEST_CASE("missing key, missing or empty value: nothing, and true") {
        SoundScope s;
        CHECK(PlaySoundEvent(1));  // no Speaker key at all
        s.Setting(u"Aus", u"");
        CHECK(PlaySoundEvent(1));
        CHECK(PlaySoundEvent(2));
        CHECK(s.NothingPlayed());
    }

    TEST_CASE("event 0 and numbers above 8 play nothing") {
        SoundScope s;
        s.fake.SetRegString(HKEY_CURRENT_USER, kSpeaker, u"", u"1000,50,1,0");  // default value
        CHECK(PlaySoundEvent(0));
        CHECK(PlaySoundEvent(9));
        CHECK(PlaySoundEvent(255));
        CHECK(s.NothingPlayed());
    }
}

TEST_SUITE("PlaySound through the ports") {
    TEST_CASE("a tone: gate on, control word, divisor low then high; silence after") {
        SoundScope s;
        s.fake.canAccessPorts = true;
        s.fake.ports[0x61] = 0x30;
        s.Setting(u"Ein", u"1000,50,1,0");
        CHECK(PlaySoundEvent(1));
        // 1193181 div 1000 = 1193 = 0x04A9
        CHECK(s.fake.portWrites ==
              Writes{{0x61, 0x33}, {0x43, 0xB6}, {0x42, 0xA9}, {0x42, 0x04}, {0x61, 0x30}});
        CHECK(s.fake.sleeps == std::vector<std::uint32_t>{50});
        CHECK(s.fake.beepTones.empty());
    }

    TEST_CASE("three tones with pauses program the timer three times") {
        SoundScope s;
        s.fake.canAccessPorts = true;
        s.Setting(u"Ein", u"1000,50,3,25");
        std::uint32_t start = s.fake.tickCount;
        CHECK(PlaySoundEvent(1));
        CHECK(s.fake.portWrites.size() == 15);
        CHECK(s.fake.sleeps == std::vector<std::uint32_t>{50, 25, 50, 25, 50});
        CHECK(s.fake.tickCount - start == 200);
        CHECK((s.fake.ports[0x61] & 3) == 0);
    }

    TEST_CASE("a second Sound while the tone runs rewrites only the divisor") {
        FakeScope scope;
        scope.fake.canAccessPorts = true;
        TPCSpeaker spk;
        spk.Sound(1000);
        scope.fake.portWrites.clear();
        spk.Sound(2000);  // 1193181 div 2000 = 596 = 0x0254
        CHECK(scope.fake.portWrites == Writes{{0x42, 0x54}, {0x42, 0x02}});
        spk.Stop();
        CHECK(scope.fake.portWrites.back() == std::make_pair(std::uint16_t(0x61), std::uint8_t(0)));
    }

    TEST_CASE("either speaker bit already set counts as a running tone") {
        FakeScope scope;
        scope.fake.canAccessPorts = true;
        scope.fake.ports[0x61] = 0x02;
        TPCSpeaker spk;
        spk.Sound(1000);
        CHECK(scope.fake.portWrites == Writes{{0x42, 0xA9}, {0x42, 0x04}});
    }

    TEST_CASE("18 Hz or less writes nothing; 19 Hz still fits the counter") {
        FakeScope scope;
        scope.fake.canAccessPorts = true;
        TPCSpeaker spk;
        spk.Sound(18);
        spk.Sound(0);
        CHECK(scope.fake.portWrites.empty());
        spk.Sound(19);  // 1193181 div 19 = 62799 = 0xF54F
        CHECK(scope.fake.portWrites ==
              Writes{{0x61, 0x03}, {0x43, 0xB6}, {0x42, 0x4F}, {0x42, 0xF5}});
    }

    TEST_CASE("NoSound clears bits 0 and 1 and keeps the others") {
        FakeScope scope;
        scope.fake.canAccessPorts = true;
        scope.fake.ports[0x61] = 0xFF;
        TPCSpeaker spk;
        spk.NoSound();
        CHECK(scope.fake.portWrites == Writes{{0x61, 0xFC}});
    }

    TEST_CASE("without port access no port is touched") {
        FakeScope scope;
        TPCSpeaker spk;
        spk.Sound(1000);
        spk.NoSound();
        spk.WritePort(0x61, 3);
        CHECK(spk.ReadPort(0x61) == 0);
        CHECK(scope.fake.portWrites.empty());
        spk.Play(1000, 20);
        REQUIRE(scope.fake.beepTones.size() == 1);
        CHECK(scope.fake.beepTones[0].duration == 20);
    }

    TEST_CASE("the module creates and frees the speaker") {
        FakeScope scope;
        PCSpkInit();
        CHECK(Speaker != nullptr);
        PCSpkDone();
        CHECK(Speaker == nullptr);
    }
}

TEST_SUITE("PlaySound through the sound scheme") {
    TEST_CASE("OPT_SPEAKER off and no scheme entry: true and silence") {
        SoundScope s(false);
        s.Setting(u"Ein", u"1000,50,1,0");  // the speaker setting is not used
        CHECK(PlaySoundEvent(1));
        CHECK(s.NothingPlayed());
    }

    TEST_CASE("the scheme file plays synchronously with SND_FILENAME alone") {
        SoundScope s(false);
        s.fake.SetRegString(HKEY_CURRENT_USER, kScheme + u"Großschrift\\.current", u"",
                            u"C:\\Sounds\\caps.wav");
        s.fake.SetRegString(HKEY_CURRENT_USER, kScheme + u"Zehnerblock\\.current", u"",
                            u"%SystemRoot%\\Media\\num.wav", REG_EXPAND_SZ);
        CHECK(PlaySoundEvent(3));
        CHECK(PlaySoundEvent(5));
        REQUIRE(s.fake.playedSounds.size() == 2);
        CHECK(s.fake.playedSounds[0].first == u"C:\\Sounds\\caps.wav");
        CHECK(s.fake.playedSounds[0].second == SND_FILENAME);
        CHECK(s.fake.playedSounds[1].first == u"%SystemRoot%\\Media\\num.wav");
        CHECK(s.fake.beepTones.empty());
    }

    TEST_CASE("OPT_SPEAKER stored without bytes means the scheme") {
        SoundScope s(false);
        s.fake.SetRegValue(HKEY_CURRENT_USER, kSettings, u"Speaker benutzen", REG_BINARY, {});
        s.fake.SetRegString(HKEY_CURRENT_USER, kScheme + u"Ein\\.current", u"", u"on.wav");
        CHECK(PlaySoundEvent(1));
        REQUIRE(s.fake.playedSounds.size() == 1);
    }

    TEST_CASE("an empty scheme value plays nothing") {
        SoundScope s(false);
        s.fake.SetRegString(HKEY_CURRENT_USER, kScheme + u"Aus\\.current", u"", u"");
        CHECK(PlaySoundEvent(2));
        CHECK(s.NothingPlayed());
    }
}

TEST_SUITE("PlaySound contains registry errors") {
    TEST_CASE("OPT_SPEAKER of the wrong type: logged, nothing played, true") {
        SoundScope s;
        s.fake.SetRegDword(HKEY_CURRENT_USER, kSettings, u"Speaker benutzen", 1);
        s.Setting(u"Ein", u"1000,50,1,0");
        int keys = s.fake.OpenRegKeys();
        CHECK(PlaySoundEvent(1));
        CHECK(s.NothingPlayed());
        REQUIRE(s.fake.debugOutput.size() == 1);
        CHECK(s.fake.debugOutput[0].find(u"Ungültiger Datentyp für 'Speaker benutzen'") !=
              std::u16string::npos);
        CHECK(s.fake.OpenRegKeys() == keys);
    }

    TEST_CASE("a speaker setting that is not text") {
        SoundScope s;
        s.fake.SetRegBinary(HKEY_CURRENT_USER, kSpeaker, u"Rollen", {'1', 0});
        int keys = s.fake.OpenRegKeys();
        CHECK(PlaySoundEvent(4));
        CHECK(s.NothingPlayed());
        REQUIRE(s.fake.debugOutput.size() == 1);
        CHECK(s.fake.debugOutput[0].find(u"Ungültiger Datentyp für 'Rollen'") !=
              std::u16string::npos);
        CHECK(s.fake.OpenRegKeys() == keys);  // the temporary wrapper closed its key
    }

    TEST_CASE("a scheme value that is not text") {
        SoundScope s(false);
        s.fake.SetRegDword(HKEY_CURRENT_USER, kScheme + u"EasyTab\\.current", u"", 3);
        int keys = s.fake.OpenRegKeys();
        CHECK(PlaySoundEvent(8));
        CHECK(s.NothingPlayed());
        REQUIRE(s.fake.debugOutput.size() == 1);
        CHECK(s.fake.debugOutput[0].find(u"Ungültiger Datentyp für ''") != std::u16string::npos);
        CHECK(s.fake.OpenRegKeys() == keys);
    }
}
