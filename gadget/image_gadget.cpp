// The image gadget: a picture in an event box, optionally framed, reporting clicks, double
// clicks and drag starts.
#include "gadget/frame.h"

namespace {

GadgetOps imageOps;
bool imageOpsFilled = false;

GtkWidget* EventBox(GadgetRecord* gadget) {
    return gadget->outer;
}

intptr_t ImageGetState(GadgetRecord* gadget) {
    return gadget->data;
}

void ImageSetState(GadgetRecord* gadget, intptr_t value) {
    auto* image = reinterpret_cast<GdkPixbuf*>(value);
    gadget->data = value;
    if (image) {
        gtk_image_set_from_pixbuf(GTK_IMAGE(gadget->widget), image);
        gtk_widget_set_size_request(EventBox(gadget), -1, -1);
    } else {
        // The empty gadget keeps the size it had.
        GtkRequisition size{};
        gtk_widget_size_request(EventBox(gadget), &size);
        gtk_image_set_from_pixmap(GTK_IMAGE(gadget->widget), nullptr, nullptr);
        gtk_widget_set_size_request(EventBox(gadget), size.width, size.height);
    }
    gtk_widget_queue_draw(gadget->widget);
}

void FillImageOps(GadgetOps& ops) {
    ops.getState = ImageGetState;
    ops.setState = ImageSetState;
}

} // namespace

intptr_t ImageGadget(intptr_t number, int32_t x, int32_t y, int32_t width, int32_t height,
                     GdkPixbuf* image, int32_t flags) {
    GadgetContext* context = CurrentGadgetList();
    if (!context) return 0;
    FillGadgetOps(imageOps, imageOpsFilled, ImageKind, FillImageOps);
    GtkWidget* box = gtk_event_box_new();
    if (!box) return 0;
    GtkWidget* picture = image ? gtk_image_new_from_pixbuf(image) : gtk_image_new();
    if (!picture) {
        DiscardWidget(box);
        return 0;
    }
    bool any = number == Any;
    GadgetRecord* gadget = ClaimGadget(number, box);
    if (!gadget) {
        DiscardWidget(picture);
        return 0;
    }
    GtkWidget* frame = (flags & (ImageGadgetFlags::BorderSunken | ImageGadgetFlags::BorderRaised))
                           ? gtk_frame_new(nullptr)
                           : nullptr;
    if (frame) {
        gtk_frame_set_shadow_type(GTK_FRAME(frame), (flags & ImageGadgetFlags::BorderRaised)
                                                        ? GTK_SHADOW_OUT
                                                        : GTK_SHADOW_IN);
        gtk_container_add(GTK_CONTAINER(frame), picture);
        gtk_container_add(GTK_CONTAINER(box), frame);
    } else {
        gtk_container_add(GTK_CONTAINER(box), picture);
    }
    // With a picture the gadget takes the picture's own size.
    if (!image) gtk_widget_set_size_request(box, width, height);
    InstallDragStartDetector(box, number);
    ConnectGadgetSignal(box, "button-press-event", GTK_SIGNAL_FUNC(QX_Gadget_MouseHandler), number);
    ConnectGadgetSignal(box, "button-release-event", GTK_SIGNAL_FUNC(QX_Gadget_MouseHandler),
                        number);
    gtk_fixed_put(GTK_FIXED(context->container), box, x, y);
    gtk_widget_show_all(box);
    gadget->widget = picture;
    gadget->outer = box;
    gadget->ops = &imageOps;
    gadget->data = reinterpret_cast<intptr_t>(image);
    return RegisterGadget(gadget, number, any);
}
