#include "support/app_fixture.h"

namespace plenhall::testing {
namespace {

class Dialogs : public AppFixture {
  protected:
    void SetUp() override { launchOnboarded(); }
    UIDelegate& ui() { return *webView().uiDelegate; }
};

TEST_F(Dialogs, AlertAnswersOnceWhateverEndsIt) {
    for (int response : {kAlertFirstButtonReturn, -4, 0}) {
        desktop.clock.advance(60);  // no quick succession
        int answers = 0;
        ui().runJavaScriptAlertPanel("Saved %s%n", [&] { ++answers; });
        ASSERT_EQ(desktop.sheets.alerts.size(), 1u);
        const auto& sheet = desktop.sheets.alerts.front();
        EXPECT_EQ(sheet.alert.messageText, "Saved %s%n");
        EXPECT_TRUE(sheet.alert.buttons.empty());
        EXPECT_EQ(sheet.window, &calendar());  // attached to the calendar, even while it is hidden
        EXPECT_EQ(answers, 0);
        desktop.sheets.answerAlert(response);
        EXPECT_EQ(answers, 1);
    }
}

TEST_F(Dialogs, ConfirmIsTrueOnlyForOK) {
    const std::pair<int, bool> cases[] = {{kAlertFirstButtonReturn, true},
                                          {kAlertSecondButtonReturn, false},
                                          {-4, false},
                                          {0, false}};
    for (const auto& [response, expected] : cases) {
        desktop.clock.advance(60);
        std::vector<bool> answers;
        ui().runJavaScriptConfirmPanel("Delete?", [&](bool ok) { answers.push_back(ok); });
        EXPECT_EQ(desktop.sheets.alerts.front().alert.buttons,
                  (std::vector<std::string>{"OK", "Cancel"}));
        desktop.sheets.answerAlert(response);
        EXPECT_EQ(answers, std::vector<bool>{expected}) << response;
    }
}

TEST_F(Dialogs, PromptAnswersTheFieldOnOKAndNothingOtherwise) {
    struct Case {
        std::optional<std::string> defaultText;
        int response;
        std::optional<std::string> typed;
        std::optional<std::string> expected;
    } cases[] = {
        {std::nullopt, kAlertFirstButtonReturn, std::nullopt,
         ""},  // unchanged empty field: "", not nil
        {"Lunch", kAlertFirstButtonReturn, std::nullopt, "Lunch"},
        {"Lunch", kAlertFirstButtonReturn, "Dinner", "Dinner"},
        {"Lunch", kAlertSecondButtonReturn, "Dinner", std::nullopt},
        {"Lunch", -4, std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        std::vector<std::optional<std::string>> answers;
        ui().runJavaScriptTextInputPanel("Title?", c.defaultText,
                                         [&](auto text) { answers.push_back(text); });
        const auto& field = desktop.sheets.alerts.front().alert.accessoryTextField;
        ASSERT_TRUE(field);
        EXPECT_EQ(field->stringValue, c.defaultText.value_or(""));
        desktop.sheets.answerAlert(c.response, c.typed);
        EXPECT_EQ(answers, std::vector<std::optional<std::string>>{c.expected});
    }
}

TEST_F(Dialogs, FilePanelAnswersPathsOrNothing) {
    std::vector<std::optional<std::vector<std::string>>> answers;
    auto record = [&](std::optional<std::vector<std::string>> paths) { answers.push_back(paths); };
    ui().runOpenPanel(OpenPanelParameters{true, false}, record);
    EXPECT_TRUE(desktop.sheets.panels.front().panel.allowsMultipleSelection);
    EXPECT_FALSE(desktop.sheets.panels.front().panel.canChooseDirectories);
    desktop.sheets.answerPanel(kModalResponseOK, {"/tmp/a.ics", "/tmp/b.ics"});
    ui().runOpenPanel(OpenPanelParameters{false, true}, record);
    EXPECT_TRUE(desktop.sheets.panels.front().panel.canChooseDirectories);
    desktop.sheets.answerPanel(kModalResponseCancel, {"/tmp/ignored"});
    ASSERT_EQ(answers.size(), 2u);
    EXPECT_EQ(answers[0], (std::vector<std::string>{"/tmp/a.ics", "/tmp/b.ics"}));
    EXPECT_EQ(answers[1], std::nullopt);  // cancelled: nothing, not an empty list
}

TEST_F(Dialogs, ASheetEndingTwiceStillAnswersOnce) {
    int answers = 0;
    ui().runJavaScriptConfirmPanel("Twice?", [&](bool) { ++answers; });
    auto completion = desktop.sheets.alerts.front().completion;
    completion(kAlertFirstButtonReturn, std::nullopt);
    completion(kAlertSecondButtonReturn, std::nullopt);
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
            desktop.sheets.answerAlert(kAlertFirstButtonReturn);
            if (pause < 0) {
                desktop.clock.current -= std::chrono::seconds(int(-pause));
            } else {
                desktop.clock.advance(pause);
            }
            ui().runJavaScriptAlertPanel("Again", [] {});
        }
        const auto& alert = desktop.sheets.alerts.front().alert;
        const std::vector<std::string> buttons =
            offered ? std::vector<std::string>{"OK", "Block Dialogs"} : std::vector<std::string>{};
        EXPECT_EQ(alert.buttons, buttons);
        EXPECT_EQ(alert.informativeText.empty(), !offered);
        desktop.sheets.answerAlert(kAlertFirstButtonReturn);
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
    desktop.sheets.answerAlert(kAlertFirstButtonReturn);
    confirm();
    desktop.sheets.answerAlert(kAlertFirstButtonReturn);
    prompt();  // the third: OK, Cancel, Block
    ASSERT_EQ(desktop.sheets.alerts.front().alert.buttons,
              (std::vector<std::string>{"OK", "Cancel", "Block Dialogs"}));
    desktop.sheets.answerAlert(kAlertFirstButtonReturn + 2, "typed");
    EXPECT_EQ(answers, (std::vector<std::string>{"done", "true", "null"}));

    answers.clear();
    desktop.clock.advance(60);
    alert();
    confirm();
    prompt();
    EXPECT_EQ(answers, (std::vector<std::string>{"done", "false", "null"}));
    EXPECT_TRUE(desktop.sheets.alerts.empty());

    webView().commit();  // the page loads again
    confirm();
    ASSERT_EQ(desktop.sheets.alerts.size(), 1u);
    EXPECT_EQ(desktop.sheets.alerts.front().alert.buttons,
              (std::vector<std::string>{"OK", "Cancel"}));
}

TEST_F(Dialogs, LeavingThePageIsNeverHeldUp) {
    std::vector<bool> answers;
    ui().runBeforeUnloadConfirmPanel("Discard the event?",
                                     [&](bool leave) { answers.push_back(leave); });
    EXPECT_EQ(answers, std::vector<bool>{true});
    EXPECT_TRUE(desktop.sheets.alerts.empty());
}

}  // namespace
}  // namespace plenhall::testing
