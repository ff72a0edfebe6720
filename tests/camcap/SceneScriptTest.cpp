// The scripts of ORVEX_SIMULATED_SCENES: which entries are taken, how several for one
// camera add up, and what a script says at a given second.
#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "camcap/SceneScript.h"
#include "camcap/SimulatedEnvironment.h"

namespace {

// "motion 10-15 30-32 light 5 20 drift noise": what a script holds, in one line.
std::string Describe(const SceneScript& script) {
    std::ostringstream text;
    if (!script.Crossings.empty()) text << " motion";
    for (const SceneInterval& c : script.Crossings)
        text << ' ' << c.FromSeconds << '-' << c.ToSeconds;
    if (!script.LampSwitches.empty()) text << " light";
    for (double s : script.LampSwitches) text << ' ' << s;
    if (script.Drift) text << " drift";
    if (script.NoiseSigma != SceneScript::kStillNoiseSigma) text << " noise " << script.NoiseSigma;
    return text.str().empty() ? "still" : text.str().substr(1);
}

}  // namespace

TEST(SceneScriptTest, TheEnvironmentScriptsCamerasAndIgnoresWhatItCannotRead) {
    const struct {
        const char* Text;
        std::map<int, std::string> Scenes;  // index to Describe()
        std::vector<std::string> Rejected;
    } cases[] = {
        {"1:still;2:motion@10-15,30-32;3:light@20;4:noise",
         {{0, "still"}, {1, "motion 10-15 30-32"}, {2, "light 20"}, {3, "noise 12"}},
         {}},
        // Entries for one camera add up; blanks and spaces do not matter.
        {" 2 : motion@10-15 ; 2:light@20, 5;;2:drift ; 2:motion@1.5-2",
         {{1, "motion 10-15 1.5-2 light 5 20 drift"}},
         {}},
        {"0:still;11:still;1:snow;1:motion;1:motion@15-10;1:motion@10-15,x;1:light@;"
         "1:light@-3;1:still@5;x:noise;1:noise@2;:drift;1",
         {},
         {"0:still", "11:still", "1:snow", "1:motion", "1:motion@15-10", "1:motion@10-15,x",
          "1:light@", "1:light@-3", "1:still@5", "x:noise", "1:noise@2", ":drift", "1"}},
        // A bad entry leaves the camera's good ones as they were.
        {"3:motion@1-2;3:motion@4-x;3:light@7,y",
         {{2, "motion 1-2"}},
         {"3:motion@4-x", "3:light@7,y"}},
        {"", {}, {}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> rejected;
        std::map<int, std::string> scenes;
        for (const auto& [index, script] :
             SimulatedEnvironment::ParseScenes(c.Text, 10, rejected)) {
            scenes[index] = Describe(script);
        }
        EXPECT_EQ(scenes, c.Scenes) << c.Text;
        EXPECT_EQ(rejected, c.Rejected) << c.Text;
    }
}

TEST(SceneScriptTest, AScriptSaysWhoCrossesAndHowBrightItIsAtEachSecond) {
    SceneScript script;
    ASSERT_TRUE(script.Add("motion@10-15,30-32"));
    ASSERT_TRUE(script.Add("light@40,20"));
    SceneScript drifting;
    ASSERT_TRUE(drifting.Add("drift"));
    const struct {
        const SceneScript& Script;
        double Seconds;
        double CrossingFrom;  // -1: no crossing
        int Brightness;
    } cases[] = {
        {script, 9.99, -1, 0},    {script, 10, 10, 0},    {script, 14.99, 10, 0},
        {script, 15, -1, 0},      {script, 31, 30, 40},   {script, 19.99, -1, 0},
        {script, 20, -1, 40},     {script, 39.9, -1, 40}, {script, 40, -1, 0},
        {drifting, 0, -1, 0},     {drifting, 75, -1, 20}, {drifting, 150, -1, 0},
        {drifting, 225, -1, -20}, {drifting, 300, -1, 0},
    };
    for (const auto& c : cases) {
        const SceneInterval* crossing = c.Script.CrossingAt(c.Seconds);
        EXPECT_EQ(crossing != nullptr ? crossing->FromSeconds : -1, c.CrossingFrom) << c.Seconds;
        EXPECT_EQ(c.Script.BrightnessAt(c.Seconds), c.Brightness) << c.Seconds;
    }
}
