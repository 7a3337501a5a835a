#include "support/app_fixture.h"

namespace plenhall::testing {
namespace {

class Dialogs : public AppFixture {
  protected:
    void SetUp() override { launchOnboarded(); }
    UIDelegate& ui() { return *webView().uiDelegate; }
};

TEST_F(Dialogs, AlertAnswersOnceWhateverEndsIt) {
    for (AlertAnswer response : {AlertAnswer(0), AlertAnswer()}) {
        desktop.clock.advance(60);  // no quick succession
        int answers = 0;
        ui().runJavaScriptAlertPanel("Saved %s%n", [&] { ++answers; });
        ASSERT_EQ(desktop.dialogs.alerts.size(), 1u);
        const auto& sheet = desktop.dialogs.alerts.front();
        EXPECT_EQ(sheet.alert.messageText, "Saved %s%n");
        EXPECT_TRUE(sheet.alert.buttons.empty());
        EXPECT_EQ(sheet.window, &calendar());  // attached to the calendar, even while it is hidden
        EXPECT_EQ(answers, 0);
        desktop.dialogs.answerAlert(response);
        EXPECT_EQ(answers, 1);
    }
}

TEST_F(Dialogs, ConfirmIsTrueOnlyForOK) {
    const std::pair<AlertAnswer, bool> cases[] = {
        {AlertAnswer(0), true}, {AlertAnswer(1), false}, {AlertAnswer(), false}};
    for (const auto& [response, expected] : cases) {
        desktop.clock.advance(60);
        std::vector<bool> answers;
        ui().runJavaScriptConfirmPanel("Delete?", [&](bool ok) { answers.push_back(ok); });
        EXPECT_EQ(desktop.dialogs.alerts.front().alert.buttons,
                  (std::vector<std::string>{"OK", "Cancel"}));
        desktop.dialogs.answerAlert(response);
        EXPECT_EQ(answers, std::vector<bool>{expected});
    }
}

TEST_F(Dialogs, PromptAnswersTheFieldOnOKAndNothingOtherwise) {
    struct Case {
        std::optional<std::string> defaultText;
        AlertAnswer response;
        std::optional<std::string> typed;
        std::optional<std::string> expected;
    } cases[] = {
        {std::nullopt, AlertAnswer(0), std::nullopt,
         ""},  // unchanged empty field: "", not nil
        {"Lunch", AlertAnswer(0), std::nullopt, "Lunch"},
        {"Lunch", AlertAnswer(0), "Dinner", "Dinner"},
        {"Lunch", AlertAnswer(1), "Dinner", std::nullopt},
        {"Lunch", AlertAnswer(), std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        std::vector<std::optional<std::string>> answers;
        ui().runJavaScriptTextInputPanel("Title?", c.defaultText,
                                         [&](auto text) { answers.push_back(text); });
        const auto& field = desktop.dialogs.alerts.front().alert.accessoryTextField;
        ASSERT_TRUE(field);
        EXPECT_EQ(field->stringValue, c.defaultText.value_or(""));
        desktop.dialogs.answerAlert(c.response, c.typed);
        EXPECT_EQ(answers, std::vector<std::optional<std::string>>{c.expected});
    }
}

TEST_F(Dialogs, FilePanelAnswersPathsOrNothing) {
    std::vector<std::optional<std::vector<std::string>>> answers;
    auto record = [&](std::optional<std::vector<std::string>> paths) { answers.push_back(paths); };
    ui().runOpenPanel(OpenPanelParameters{true, false}, record);
    EXPECT_TRUE(desktop.dialogs.panels.front().panel.allowsMultipleSelection);
    EXPECT_FALSE(desktop.dialogs.panels.front().panel.canChooseDirectories);
    desktop.dialogs.answerPanel(std::vector<std::string>{"/tmp/a.ics", "/tmp/b.ics"});
    ui().runOpenPanel(OpenPanelParameters{false, true}, record);
    EXPECT_TRUE(desktop.dialogs.panels.front().panel.canChooseDirectories);
    desktop.dialogs.answerPanel(std::nullopt);
    ASSERT_EQ(answers.size(), 2u);
    EXPECT_EQ(answers[0], (std::vector<std::string>{"/tmp/a.ics", "/tmp/b.ics"}));
    EXPECT_EQ(answers[1], std::nullopt);  // cancelled: nothing, not an empty list
}

TEST_F(Dialogs, ASheetEndingTwiceStillAnswersOnce) {
    int answers = 0;
    ui().runJavaScriptConfirmPanel("Twice?", [&](bool) { ++answers; });
    auto completion = desktop.dialogs.alerts.front().completion;
    completion(AlertAnswer(0), std::nullopt);
    completion(AlertAnswer(1), std::nullopt);
    EXPECT_EQ(answers, 1);
}

TEST_F(Dialogs, DialogsInQuickSuccessionOfferToBlockThePage) {
    // Pauses in seconds between one dialog's end and the next request; whether the last offers.
    const std::pair<std::vector<double>, bool> cases[] = {
        {{1, 1}, true},  {{3, 3}, true}, {{1, 1, 1}, true}, {{1, 3.5}, false},
        {{4, 1}, false}, {{1}, false},   {{-10, 1}, false},  // a clock set back starts anew
    };
    for (const auto& [pauses, offered] : cases) {
        desktop.clock.advance(60);
        ui().runJavaScriptAlertPanel("Again", [] {});
        for (double pause : pauses) {
            desktop.dialogs.answerAlert(AlertAnswer(0));
            if (pause < 0) {
                desktop.clock.current -= std::chrono::seconds(int(-pause));
            } else {
                desktop.clock.advance(pause);
            }
            ui().runJavaScriptAlertPanel("Again", [] {});
        }
        const auto& alert = desktop.dialogs.alerts.front().alert;
        const std::vector<std::string> buttons =
            offered ? std::vector<std::string>{"OK", "Block Dialogs"} : std::vector<std::string>{};
        EXPECT_EQ(alert.buttons, buttons);
        EXPECT_EQ(alert.informativeText.empty(), !offered);
        desktop.dialogs.answerAlert(AlertAnswer(0));
    }
}

TEST_F(Dialogs, ABlockedPageIsAnsweredAtOnceAsCancelledUntilAPageLoads) {
    desktop.clock.advance(1);  // the calendar page has loaded
    std::vector<std::string> answers;
    auto alert = [&] { ui().runJavaScriptAlertPanel("a", [&] { answers.push_back("done"); }); };
    auto confirm = [&] {
        ui().runJavaScriptConfirmPanel("c",
                                       [&](bool ok) { answers.push_back(ok ? "true" : "false"); });
    };
    auto prompt = [&] {
        ui().runJavaScriptTextInputPanel("p", "x", [&](std::optional<std::string> text) {
            answers.push_back(text.value_or("null"));
        });
    };
    alert();
    desktop.dialogs.answerAlert(AlertAnswer(0));
    confirm();
    desktop.dialogs.answerAlert(AlertAnswer(0));
    prompt();  // the third: OK, Cancel, Block
    ASSERT_EQ(desktop.dialogs.alerts.front().alert.buttons,
              (std::vector<std::string>{"OK", "Cancel", "Block Dialogs"}));
    desktop.dialogs.answerAlert(AlertAnswer(2), "typed");
    EXPECT_EQ(answers, (std::vector<std::string>{"done", "true", "null"}));

    answers.clear();
    desktop.clock.advance(60);
    alert();
    confirm();
    prompt();
    EXPECT_EQ(answers, (std::vector<std::string>{"done", "false", "null"}));
    EXPECT_TRUE(desktop.dialogs.alerts.empty());

    webView().commit();  // the page loads again
    confirm();
    ASSERT_EQ(desktop.dialogs.alerts.size(), 1u);
    EXPECT_EQ(desktop.dialogs.alerts.front().alert.buttons,
              (std::vector<std::string>{"OK", "Cancel"}));
}

TEST_F(Dialogs, LeavingThePageIsNeverHeldUp) {
    std::vector<bool> answers;
    ui().runBeforeUnloadConfirmPanel("Discard the event?",
                                     [&](bool leave) { answers.push_back(leave); });
    EXPECT_EQ(answers, std::vector<bool>{true});
    EXPECT_TRUE(desktop.dialogs.alerts.empty());
}

}  // namespace
}  // namespace plenhall::testing
