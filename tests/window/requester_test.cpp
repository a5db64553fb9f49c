// The message requester, shown for real and answered by clicks from inside its own loop.
#include "tests/support/gui.h"
#include "window/window.h"

#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

GtkWidget* FindDialog(const char* title) {
    GtkWidget* found = nullptr;
    GList* toplevels = gtk_window_list_toplevels();
    for (GList* item = toplevels; item; item = item->next) {
        auto* window = GTK_WINDOW(item->data);
        const char* current = gtk_window_get_title(window);
        if (current && std::string(current) == title && GTK_WIDGET_MAPPED(GTK_WIDGET(window)))
            found = GTK_WIDGET(window);
    }
    g_list_free(toplevels);
    return found;
}

std::vector<GtkWidget*> Buttons(GtkWidget* dialog) {
    std::vector<GtkWidget*> buttons;
    GList* children = gtk_container_get_children(GTK_CONTAINER(GTK_DIALOG(dialog)->action_area));
    for (GList* item = children; item; item = item->next)
        buttons.push_back(GTK_WIDGET(item->data));
    g_list_free(children);
    return buttons;
}

std::string StockId(GtkWidget* button) {
    const char* label = gtk_button_get_label(GTK_BUTTON(button));
    return label ? label : "";
}

// Runs MessageRequester and, once its dialog is on screen, hands the dialog to `answer` from
// inside the requester's own loop.
intptr_t AskAndAnswer(const char16_t* text, int32_t flags,
                      std::function<void(GtkWidget* dialog)> answer) {
    struct Pending {
        std::function<void(GtkWidget*)> answer;
        bool done = false;
    } pending{std::move(answer)};
    guint source = g_timeout_add(
        10,
        [](gpointer data) -> gboolean {
            auto* state = static_cast<Pending*>(data);
            GtkWidget* dialog = FindDialog("Question");
            if (!dialog || state->done) return TRUE;
            state->done = true;
            state->answer(dialog);
            return FALSE;
        },
        &pending);
    intptr_t result = MessageRequester(u"Question", text, flags);
    if (!pending.done) g_source_remove(source);
    EXPECT_TRUE(pending.done);
    return result;
}

struct Row {
    int32_t flags;
    std::vector<std::string> stock;
    std::vector<intptr_t> results;
    int width;
    int focus;
};

class RequesterRows : public testing::TestWithParam<Row> {};

} // namespace

TEST_P(RequesterRows, EachButtonReturnsItsValue) {
    const Row& row = GetParam();
    for (size_t pressed = 0; pressed < row.stock.size(); ++pressed) {
        intptr_t result = AskAndAnswer(u"Go on?", row.flags, [&](GtkWidget* dialog) {
            std::vector<GtkWidget*> buttons = Buttons(dialog);
            ASSERT_EQ(buttons.size(), row.stock.size());
            for (size_t i = 0; i < buttons.size(); ++i)
                EXPECT_EQ(StockId(buttons[i]), row.stock[i]);
            int width = 0, height = 0;
            gtk_window_get_default_size(GTK_WINDOW(dialog), &width, &height);
            EXPECT_EQ(width, row.width);
            EXPECT_EQ(height, 50);
            GtkWidget* focus = gtk_window_get_focus(GTK_WINDOW(dialog));
            // Rows without a focus button leave the choice to the toolkit.
            if (row.focus >= 0) {
                EXPECT_EQ(focus, buttons[row.focus]);
            }
            gtk_button_clicked(GTK_BUTTON(buttons[pressed]));
        });
        EXPECT_EQ(result, row.results[pressed]) << row.stock[pressed];
        EXPECT_EQ(FindDialog("Question"), nullptr);
    }
}

INSTANTIATE_TEST_SUITE_P(
    FlagRows, RequesterRows,
    testing::Values(Row{0, {"gtk-ok"}, {RequesterOk}, 100, 0},
                    Row{1, {"gtk-yes", "gtk-no"}, {RequesterYes, RequesterNo}, 250, 0},
                    Row{3, {"gtk-yes", "gtk-no"}, {RequesterYes, RequesterNo}, 250, 0},
                    Row{2,
                        {"gtk-yes", "gtk-no", "gtk-cancel"},
                        {RequesterYes, RequesterNo, RequesterCancel},
                        300,
                        -1},
                    Row{8, {"gtk-ok"}, {RequesterOk}, 100, 0}));

TEST(Requester, DestroyedFromOutsideReturnsZero) {
    EXPECT_EQ(AskAndAnswer(u"Going away", 1, [](GtkWidget* dialog) { gtk_widget_destroy(dialog); }),
              0);
}

TEST(Requester, LooksAsDesigned) {
    intptr_t result = AskAndAnswer(u"Look at me", 0, [](GtkWidget* dialog) {
        // The window manager may only move and minimise it, and draws these decorations.
        MotifHints hints = ReadMotifHints(dialog->window);
        EXPECT_TRUE(hints.present);
        EXPECT_EQ(hints.functions, 0x0Cu);
        EXPECT_EQ(hints.decorations, 0x3Au);

        GtkWidget* label = nullptr;
        GList* children = gtk_container_get_children(GTK_CONTAINER(GTK_DIALOG(dialog)->vbox));
        for (GList* item = children; item; item = item->next)
            if (GTK_IS_LABEL(item->data)) label = GTK_WIDGET(item->data);
        g_list_free(children);
        ASSERT_NE(label, nullptr);
        EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(label)), "Look at me");
        int padX = 0, padY = 0;
        gtk_misc_get_padding(GTK_MISC(label), &padX, &padY);
        EXPECT_EQ(padX, 10);
        EXPECT_EQ(padY, 10);

        // Centred on the screen.
        int x = 0, y = 0, width = 0, height = 0;
        gdk_window_get_origin(dialog->window, &x, &y);
        gdk_drawable_get_size(dialog->window, &width, &height);
        GdkScreen* screen = gtk_widget_get_screen(dialog);
        EXPECT_NEAR(x + width / 2, gdk_screen_get_width(screen) / 2, 2);
        EXPECT_NEAR(y + height / 2, gdk_screen_get_height(screen) / 2, 2);

        // Answered with a real pointer click on its button.
        GtkWidget* ok = Buttons(dialog).front();
        ASSERT_TRUE(PumpUntil([&] { return GTK_WIDGET_MAPPED(ok); }));
        EXPECT_TRUE(ClickWidget(ok));
    });
    EXPECT_EQ(result, RequesterOk);
}

TEST(Requester, TextIsConvertedFromRuntimeText) {
    const char16_t text[] = {u'C', 0x00E9, u' ', 0xD83D, 0xDE00, 0};
    AskAndAnswer(text, 0, [](GtkWidget* dialog) {
        GList* children = gtk_container_get_children(GTK_CONTAINER(GTK_DIALOG(dialog)->vbox));
        bool found = false;
        for (GList* item = children; item; item = item->next)
            if (GTK_IS_LABEL(item->data))
                found = std::string(gtk_label_get_text(GTK_LABEL(item->data))) ==
                        "C\xC3\xA9 \xF0\x9F\x98\x80";
        g_list_free(children);
        EXPECT_TRUE(found);
        gtk_button_clicked(GTK_BUTTON(Buttons(dialog).front()));
    });
}
