// Gadgets in a real window under the virtual X server: groups, events, state, reuse, fonts.
#include "gadget/gadget.h"
#include "tests/support/gui.h"
#include "window/window.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

struct Posted {
    int32_t kind;
    intptr_t object;
    intptr_t window;
    intptr_t type;
    bool operator==(const Posted&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Posted& event) {
    return out << "{kind " << event.kind << ", object " << event.object << ", window "
               << event.window << ", type " << event.type << "}";
}

// Everything queued, oldest first; the queue is empty afterwards.
std::vector<Posted> Drain() {
    std::vector<Posted> events;
    intptr_t object = 0, window = 0, type = 0;
    void* data = nullptr;
    void (*freeData)(void*) = nullptr;
    while (int32_t kind = PopEvent(&object, &window, &type, &data, &freeData))
        events.push_back({kind, object, window, type});
    return events;
}

std::vector<Posted> GadgetEvents() {
    std::vector<Posted> events;
    for (const Posted& event : Drain())
        if (event.kind == Gadget) events.push_back(event);
    return events;
}

GtkWidget* WidgetOf(intptr_t number) {
    auto* gadget = static_cast<GadgetRecord*>(GetObject(QX_Gadget_Objects, number));
    return gadget ? gadget->widget : nullptr;
}

// Lets the toolkit handle a real click and whatever it sets off.
void Settle() {
    PumpUntil([] { return false; }, 150);
}

class Gadgets : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        InitEventQueue();
        InitGadgetLibrary();
        InitWindowLibrary();
    }
    void SetUp() override {
        window_ = reinterpret_cast<GtkWidget*>(
            OpenWindow(kWindow, 100, 100, 400, 300, u"Gadgets", SystemMenu));
        ASSERT_NE(window_, nullptr);
        Settle();
        Drain();
    }
    void TearDown() override {
        QX_CloseWindow(Any);
        Drain();
    }
    static constexpr intptr_t kWindow = 4;
    GtkWidget* window_ = nullptr;
};

} // namespace

TEST_F(Gadgets, OptionGroupsFollowCreationOrder) {
    for (int i = 0; i < 4; ++i)
        ASSERT_NE(OptionGadget(10 + i, 10, 10 + 25 * i, 100, 20, u"o"), 0);
    ASSERT_NE(CheckBoxGadget(20, 150, 10, 100, 20, u"c"), 0);
    ASSERT_NE(OptionGadget(21, 150, 40, 100, 20, u"p"), 0);
    ASSERT_NE(OptionGadget(22, 150, 70, 100, 20, u"q"), 0);
    ASSERT_NE(ButtonGadget(23, 150, 100, 100, 20, u"b"), 0);
    ASSERT_NE(OptionGadget(24, 150, 130, 100, 20, u"r"), 0);
    std::vector<intptr_t> states;
    for (intptr_t number : {10, 11, 12, 13, 21, 22, 24})
        states.push_back(GetGadgetState(number));
    EXPECT_EQ(states, (std::vector<intptr_t>{1, 0, 0, 0, 1, 0, 1}));
    Settle();
    Drain();

    // A real click on the third option selects it; only the selected option reports.
    ASSERT_TRUE(ClickWidget(WidgetOf(12)));
    ASSERT_TRUE(PumpUntil([] { return GetGadgetState(12) == 1; }));
    Settle();
    EXPECT_EQ(GadgetEvents(), (std::vector<Posted>{{Gadget, 12, kWindow, 0}}));
    EXPECT_EQ(GetGadgetState(10), 0);
    EXPECT_EQ(GetGadgetState(21), 1); // the other groups are untouched
    EXPECT_EQ(GetGadgetState(24), 1);
}

TEST_F(Gadgets, ButtonsPostOneEventPerClick) {
    ASSERT_NE(ButtonGadget(1, 10, 10, 120, 25, u"Plain"), 0);
    ASSERT_NE(ButtonGadget(2, 10, 50, 120, 25, u"Toggle", ButtonFlags::Toggle), 0);
    ASSERT_TRUE(ClickWidget(WidgetOf(1)));
    Settle();
    EXPECT_EQ(GadgetEvents(), (std::vector<Posted>{{Gadget, 1, kWindow, 0}}));
    EXPECT_EQ(GetGadgetState(1), 0);

    for (intptr_t expected : {1, 0, 1}) {
        ASSERT_TRUE(ClickWidget(WidgetOf(2)));
        Settle();
        EXPECT_EQ(GadgetEvents(), (std::vector<Posted>{{Gadget, 2, kWindow, 0}}));
        EXPECT_EQ(GetGadgetState(2), expected);
    }
}

TEST_F(Gadgets, NothingIsPostedWhileACloseRequestWaits) {
    ASSERT_NE(ButtonGadget(1, 10, 10, 120, 25, u"Patch"), 0);
    ASSERT_NE(CheckBoxGadget(2, 10, 50, 120, 25, u"Tick"), 0);
    ASSERT_NE(OptionGadget(3, 10, 90, 120, 25, u"A"), 0);
    ASSERT_NE(OptionGadget(4, 10, 120, 120, 25, u"B"), 0);
    Settle();
    Drain();
    PostEvent(CloseWindow, 0, kWindow, 0);
    gtk_button_clicked(GTK_BUTTON(WidgetOf(1)));
    gtk_button_clicked(GTK_BUTTON(WidgetOf(2)));
    gtk_button_clicked(GTK_BUTTON(WidgetOf(4)));
    EXPECT_EQ(Drain(), (std::vector<Posted>{{CloseWindow, 0, kWindow, 0}}));
    EXPECT_EQ(GetGadgetState(2), 1); // the state changed all the same
    EXPECT_EQ(GetGadgetState(4), 1);
}

TEST_F(Gadgets, CheckBoxStatesAndTheMixedState) {
    ASSERT_NE(CheckBoxGadget(1, 10, 10, 150, 20, u"Two"), 0);
    ASSERT_NE(CheckBoxGadget(2, 10, 40, 150, 20, u"Three", CheckBoxFlags::ThreeState), 0);
    auto* plain = static_cast<GadgetRecord*>(GetObject(QX_Gadget_Objects, 1));
    auto* three = static_cast<GadgetRecord*>(GetObject(QX_Gadget_Objects, 2));

    for (intptr_t expected : {1, 0}) {
        ASSERT_TRUE(ClickWidget(WidgetOf(1)));
        Settle();
        EXPECT_EQ(GadgetEvents(), (std::vector<Posted>{{Gadget, 1, kWindow, 0}}));
        EXPECT_EQ(GetGadgetState(1), expected);
    }
    plain->ops->setState(plain, -1); // without ThreeState, -1 just checks it
    EXPECT_EQ(GetGadgetState(1), 1);

    three->ops->setState(three, -1);
    EXPECT_EQ(GetGadgetState(2), -1);
    EXPECT_TRUE(Drain().empty()); // a change made by program posts nothing
    ASSERT_TRUE(ClickWidget(WidgetOf(2)));
    Settle();
    EXPECT_EQ(GetGadgetState(2), 1); // a click on a mixed box checks it
    EXPECT_EQ(GadgetEvents(), (std::vector<Posted>{{Gadget, 2, kWindow, 0}}));
}

TEST_F(Gadgets, SelectingAnOptionByProgramPostsItsEvent) {
    ASSERT_NE(OptionGadget(5, 10, 10, 100, 20, u"A"), 0);
    ASSERT_NE(OptionGadget(6, 10, 40, 100, 20, u"B"), 0);
    auto* second = static_cast<GadgetRecord*>(GetObject(QX_Gadget_Objects, 6));
    second->ops->setState(second, 1);
    EXPECT_EQ(GadgetEvents(), (std::vector<Posted>{{Gadget, 6, kWindow, 0}}));
    EXPECT_EQ(GetGadgetState(5), 0);
    second->ops->setState(second, 1);
    EXPECT_TRUE(Drain().empty());
}

TEST_F(Gadgets, TextsPlacesAndSizes) {
    ASSERT_NE(ButtonGadget(1, 30, 180, 120, 25, u"Patch"), 0);
    ASSERT_NE(CheckBoxGadget(2, 130, 140, 130, 20, u"Skip intro videos"), 0);
    ASSERT_NE(OptionGadget(3, 145, 20, 100, 20, nullptr), 0);
    ASSERT_TRUE(PumpUntil([] { return WidgetOf(1)->allocation.width == 120; }));
    GtkAllocation allocation = WidgetOf(1)->allocation;
    EXPECT_EQ(allocation.x, 30);
    EXPECT_EQ(allocation.y, 180);
    EXPECT_EQ(allocation.height, 25);
    EXPECT_EQ(WidgetOf(2)->allocation.width, 130);
    EXPECT_EQ(WidgetOf(2)->allocation.x, 130);

    InitStrings();
    for (auto [number, expected] :
         {std::pair<intptr_t, std::u16string>{1, u"Patch"}, {2, u"Skip intro videos"}, {3, u""}}) {
        auto* gadget = static_cast<GadgetRecord*>(GetObject(QX_Gadget_Objects, number));
        QX_StringBasePosition = 0;
        EXPECT_EQ(gadget->ops->getText(gadget, 0), static_cast<int64_t>(expected.size() + 1));
        EXPECT_EQ(std::u16string(reinterpret_cast<char16_t*>(QX_StringBase)), expected);
    }
    EndStrings();
    EXPECT_EQ(gtk_object_get_data(GTK_OBJECT(WidgetOf(1)), "qx_id"), reinterpret_cast<void*>(2));
}

TEST_F(Gadgets, ReusingANumberDestroysTheOldGadget) {
    ASSERT_NE(ButtonGadget(3, 10, 10, 100, 20, u"Old"), 0);
    GtkWidget* old = WidgetOf(3);
    g_object_add_weak_pointer(G_OBJECT(old), reinterpret_cast<gpointer*>(&old));
    void* record = GetObject(QX_Gadget_Objects, 3);
    ASSERT_NE(CheckBoxGadget(3, 10, 40, 100, 20, u"New"), 0);
    EXPECT_EQ(old, nullptr);
    EXPECT_EQ(GetObject(QX_Gadget_Objects, 3), record);
    EXPECT_TRUE(GTK_IS_CHECK_BUTTON(WidgetOf(3)));

    intptr_t any = ButtonGadget(Any, 10, 80, 100, 20, u"Any");
    ASSERT_NE(any, 0);
    EXPECT_EQ(GetObject(QX_Gadget_Objects, any), reinterpret_cast<void*>(any));
    EXPECT_EQ(gtk_object_get_data(GTK_OBJECT(WidgetOf(any)), "qx_id"),
              reinterpret_cast<void*>(any + 1));
    QX_FreeGadget(any);
    EXPECT_EQ(IsObject(QX_Gadget_Objects, any), nullptr);
    QX_FreeGadget(77); // never used: nothing happens
    EXPECT_EQ(GetGadgetState(77), 0);
}

TEST_F(Gadgets, ClosingTheWindowFreesItsGadgetsAndTheList) {
    ASSERT_NE(ButtonGadget(1, 10, 10, 100, 20, u"A"), 0);
    ASSERT_NE(OptionGadget(2, 10, 40, 100, 20, u"B"), 0);
    QX_CloseWindow(kWindow);
    EXPECT_EQ(GetObject(QX_Gadget_Objects, 1), nullptr);
    EXPECT_EQ(GetObject(QX_Gadget_Objects, 2), nullptr);
    EXPECT_EQ(GetGadgetState(2), 0);

    // No gadget list is current now: creating claims nothing.
    EXPECT_EQ(ButtonGadget(5, 10, 10, 100, 20, u"Nowhere"), 0);
    EXPECT_EQ(OptionGadget(Any, 10, 10, 100, 20, u"Nowhere"), 0);
    EXPECT_EQ(GetObject(QX_Gadget_Objects, 5), nullptr);
    EXPECT_EQ(QX_Gadget_Objects->dynamicHead, nullptr);
}

TEST_F(Gadgets, AFreedLastOptionStartsANewGroup) {
    ASSERT_NE(OptionGadget(1, 10, 10, 100, 20, u"A"), 0);
    ASSERT_NE(OptionGadget(2, 10, 40, 100, 20, u"B"), 0);
    QX_FreeGadget(2);
    ASSERT_NE(OptionGadget(3, 10, 70, 100, 20, u"C"), 0);
    EXPECT_EQ(GetGadgetState(3), 1);
    EXPECT_EQ(GetGadgetState(1), 1);
}

TEST_F(Gadgets, FontsForNewGadgets) {
    ASSERT_NE(ButtonGadget(1, 10, 10, 100, 20, u"Before"), 0);
    PangoFontDescription* font = pango_font_description_from_string("Serif Bold 14");
    SetGadgetFont(Any, font);
    ASSERT_NE(CheckBoxGadget(2, 10, 40, 100, 20, u"With"), 0);
    SetGadgetFont(Any, DefaultGadgetFont);
    ASSERT_NE(OptionGadget(3, 10, 70, 100, 20, u"After"), 0);

    auto fontOf = [](intptr_t number) {
        auto* gadget = static_cast<GadgetRecord*>(GetObject(QX_Gadget_Objects, number));
        return gadget->ops->getFont(gadget);
    };
    EXPECT_EQ(fontOf(2), font);
    GtkWidget* label = gtk_bin_get_child(GTK_BIN(WidgetOf(2)));
    EXPECT_TRUE(pango_font_description_equal(label->style->font_desc, font));
    EXPECT_FALSE(pango_font_description_equal(fontOf(1), font));
    EXPECT_FALSE(pango_font_description_equal(fontOf(3), font));

    SetGadgetFont(1, font); // one gadget changes; the others keep theirs
    EXPECT_EQ(fontOf(1), font);
    EXPECT_FALSE(pango_font_description_equal(fontOf(3), font));
    QX_CloseWindow(kWindow);
    pango_font_description_free(font);
}

TEST_F(Gadgets, DragStartIsReportedOncePerPress) {
    GtkWidget* box = gtk_event_box_new();
    gtk_widget_set_size_request(box, 120, 120);
    auto* list = static_cast<GtkWidget*>(gtk_object_get_data(GTK_OBJECT(window_), "qx_gadgetlist"));
    gtk_fixed_put(GTK_FIXED(list), box, 20, 20);
    InstallDragStartDetector(box, 42);
    gtk_widget_show(box);
    ASSERT_TRUE(PumpUntil([&] { return GTK_WIDGET_MAPPED(box) && box->allocation.width == 120; }));
    Drain();

    int x = 0, y = 0;
    WidgetRootPosition(box, 20, 20, &x, &y);
    ASSERT_TRUE(PointerMove(x, y));
    ASSERT_TRUE(PointerDown(1));
    Settle();
    for (int step = 1; step <= 6; ++step) {
        ASSERT_TRUE(PointerMove(x + 10 * step, y + 8 * step));
        Settle();
    }
    ASSERT_TRUE(PointerUp(1));
    Settle();
    EXPECT_EQ(GadgetEvents(), (std::vector<Posted>{{Gadget, 42, kWindow, EventTypeDragStart}}));

    // With another button held as well, no drag starts.
    ASSERT_TRUE(PointerMove(x, y));
    ASSERT_TRUE(PointerDown(1));
    ASSERT_TRUE(PointerDown(3));
    Settle();
    ASSERT_TRUE(PointerMove(x + 60, y + 60));
    Settle();
    ASSERT_TRUE(PointerUp(3));
    ASSERT_TRUE(PointerUp(1));
    Settle();
    EXPECT_TRUE(GadgetEvents().empty());
}
