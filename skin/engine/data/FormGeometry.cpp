#include "skin/engine/data/FormGeometry.h"

#include <algorithm>

namespace skin {

namespace {

// Half-open like the system's PtInRect: the right and bottom edges belong to
// the neighbour.
bool Contains(const TRect& r, TPoint p)
{
    return p.X >= r.Left && p.X < r.Right && p.Y >= r.Top && p.Y < r.Bottom;
}

bool IsEmpty(const TRect& r) { return r.Right <= r.Left || r.Bottom <= r.Top; }

TRect Clip(const TRect& r, const TRect& bounds)
{
    return TRect(std::max(r.Left, bounds.Left), std::max(r.Top, bounds.Top), std::min(r.Right, bounds.Right),
                 std::min(r.Bottom, bounds.Bottom));
}

int ButtonTop(const TCaptionLayoutInput& in, int height)
{
    // A skin that gives the maximized title its own height moves the
    // buttons by the difference.
    const bool maxDiffers = in.SkinTitleHeight != 0 && in.SkinTitleHeight != in.SkinMaxHeight;
    const bool drawnByBorder = in.ExtBorders && in.BorderMode == 1;
    if (in.Large && in.BIVAlign == 1) {
        int top = in.TopMargin;
        if (in.Zoomed) {
            top += in.SysFrame - 1;
            if (in.ExtBorders && maxDiffers)
                top += in.SkinTitleHeight - in.SkinMaxHeight;
            if (drawnByBorder)
                top += in.CenterOffset;
        }
        return top;
    }
    // Centred below the top border; integer division rounds towards zero.
    int top = (in.SkinBorderWidth + in.TitleBarHeight - height) / 2 + in.TopMargin;
    if (drawnByBorder)
        top += in.CenterOffset;
    if (in.Zoomed) {
        if (in.ExtBorders)
            top -= 2;
        if (maxDiffers)
            top += (in.SkinTitleHeight - in.SkinMaxHeight - in.CenterOffset) / 2 - 2;
        if (in.ExtBorders)
            top += in.SysFrame / 2;
    }
    if (in.Large && height < 16)
        top += 2;
    return top;
}

int ButtonSide(int side) { return std::clamp(side, 0, kMaxCaptionButtonSide); }

// Places one button with its right edge at x and moves x past it.
TRect PlaceButton(const TCaptionLayoutInput& in, int& x, int width)
{
    const int height = ButtonSide(in.ButtonHeight);
    width = ButtonSide(width);
    const int top = ButtonTop(in, height);
    TRect r(x - width, top, x, top + height);
    x = r.Left - (in.Large ? in.BISpace : 0);
    return r;
}

} // namespace

int FormBorderWidth(uint32_t style, int skinBorderWidth, bool useSkin, const TFrameMetrics& m)
{
    if (useSkin && skinBorderWidth != 0)
        return skinBorderWidth;
    if (style & fsThickFrame)
        return m.CxFrame;
    if (style & fsBorder)
        return m.CxFixedFrame;
    return 0;
}

int TitleBarHeight(const TTitleInput& in, bool useSkin, const TFrameMetrics& m)
{
    if (!in.Iconic && !(in.HasTitle && (in.Style & fsCaption) == fsCaption))
        return 0;
    int h = useSkin ? in.SkinTitleHeight : 0;
    const int system = in.ToolWindow ? m.CySmCaption : m.CyCaption;
    if (in.TitleRaised)
        return std::max(h, system + 4);
    return h == 0 ? system : h;
}

int TitleIconSize(int ownSize, int skinTitleHeight, bool showsAppIcon)
{
    if (!showsAppIcon)
        return 0;
    if (ownSize != 0)
        return ownSize;
    if (skinTitleHeight >= -100 && skinTitleHeight <= 8)
        return 1;
    if (skinTitleHeight >= 9 && skinTitleHeight <= 16)
        return 8;
    return 16;
}

int TitleButtonsWidth(const TCaptionLayoutInput& in)
{
    const int space = in.Large ? in.BISpace : 0;
    int w = in.BIRight;
    if (in.Menu.VisibleClose) {
        w += ButtonSide(in.CloseWidth);
        if (in.Menu.VisibleMax)
            w += ButtonSide(in.MaxWidth) + space;
        if (in.Menu.VisibleMin)
            w += ButtonSide(in.MinWidth) + space;
        if (in.Help)
            w += ButtonSide(in.HelpWidth) + space;
    }
    if (!in.User.empty())
        w += 8;
    // Hidden user buttons keep their place in the reserved width.
    for (const TUserButtonInput& b : in.User)
        w += ButtonSide(b.Width) + space;
    return w;
}

void KeepButtonsInWindow(TCaptionLayout& layout, int windowHeight)
{
    if (windowHeight <= 0)
        return;
    auto keep = [&](TRect& r) {
        if (IsEmpty(r))
            return;
        if (r.Bottom > windowHeight) {
            r.Top -= r.Bottom - windowHeight;
            r.Bottom = windowHeight;
        }
        if (r.Top < 0) {
            r.Bottom = std::min(r.Bottom - r.Top, windowHeight);
            r.Top = 0;
        }
    };
    for (TRect* r : {&layout.Close, &layout.Max, &layout.Min, &layout.Help})
        keep(*r);
    for (TRect& r : layout.User)
        keep(r);
}

TCaptionLayout LayoutCaptionButtons(const TCaptionLayoutInput& in)
{
    TCaptionLayout out;
    out.User.resize(in.User.size());
    if (!in.HasTitle)
        return out;
    int x = in.WindowWidth - in.BIRight - in.RightBorder;
    // Without a close button the system menu offers none of the others.
    if (in.Menu.VisibleClose) {
        out.Close = PlaceButton(in, x, in.CloseWidth);
        if (in.Menu.VisibleMax)
            out.Max = PlaceButton(in, x, in.MaxWidth);
        if (in.Menu.VisibleMin || in.Iconic)
            out.Min = PlaceButton(in, x, in.MinWidth);
        if (in.Help)
            out.Help = PlaceButton(in, x, in.HelpWidth);
    }
    if (!in.User.empty()) {
        x -= 8;
        for (size_t i = 0; i < in.User.size(); ++i)
            if (in.User[i].Visible)
                out.User[i] = PlaceButton(in, x, in.User[i].Width);
    }
    KeepButtonsInWindow(out, in.WindowHeight);
    return out;
}

int FormHitTest(const THitTestInput& in, TPoint p)
{
    const int titleBottom = in.SysBorderWidth + in.TitleHeight;

    // 1. Caption buttons, counted from the right.
    const auto button = [&in](TPoint at) {
        if (!IsEmpty(in.Buttons.Close) && Contains(in.Buttons.Close, at))
            return htClose;
        if (!IsEmpty(in.Buttons.Max) && Contains(in.Buttons.Max, at))
            return in.Menu.EnabledMax || (in.Menu.EnabledRestore && !in.Iconic) ? htMaxButton : htCaption;
        if (!IsEmpty(in.Buttons.Min) && Contains(in.Buttons.Min, at))
            // Minimized, the button shows the restore glyph and restores.
            return in.Menu.EnabledMin || in.Iconic ? htMinButton : htCaption;
        if (!IsEmpty(in.Buttons.Help) && Contains(in.Buttons.Help, at))
            return htHelp;
        return htNowhere;
    };
    int code = button(p);
    if (code == htNowhere && in.Zoomed && !in.Iconic) {
        // A maximized window's frame lies off the screen and the skin's
        // margins leave a strip at the screen's edge above and right of the
        // buttons: a pointer thrown into the top edge or the top-right
        // corner must still hit them. So the rows above each button answer
        // as that button, and the strip right of close, down to close's
        // bottom, as close.
        TPoint q = p;
        const TRect& close = in.Buttons.Close;
        if (!IsEmpty(close) && q.X >= close.Right && q.X < in.Width && q.Y >= 0 && q.Y < close.Bottom)
            q.X = close.Right - 1;
        for (const TRect* b : {&in.Buttons.Close, &in.Buttons.Max, &in.Buttons.Min, &in.Buttons.Help})
            if (!IsEmpty(*b) && q.X >= b->Left && q.X < b->Right && q.Y >= 0 && q.Y < b->Top)
                q.Y = b->Top;
        code = button(q);
    }
    if (code != htNowhere)
        return code;
    // User buttons only answer inside the title bar: many of them run past
    // the icon and the left frame, where the frame and icon must still work.
    // A minimized window is a title only: its edges size nothing.
    const bool sizingFrame = !in.Zoomed && !in.Iconic && (in.Style & fsThickFrame) && !in.BorderForm;
    const int side = in.Zoomed ? 0 : in.BorderWidth;
    const TRect title(side, sizingFrame ? in.SysBorderWidth : 0, in.Width - side, titleBottom);
    for (size_t i = 0; i < in.Buttons.User.size() && i < in.User.size(); ++i) {
        if (!in.User[i].Visible || !in.User[i].Enabled)
            continue;
        const TRect r = Clip(in.Buttons.User[i], title);
        if (!IsEmpty(r) && Contains(r, p) && !(!IsEmpty(in.IconRect) && Contains(in.IconRect, p)))
            return htUserButton + static_cast<int>(i);
    }

    // 2. The frame of a sizeable form.
    if (sizingFrame) {
        const int b = in.BorderWidth;
        int code = htNowhere;
        if (p.Y < in.SysBorderWidth)
            code = htTop;
        else if (p.Y >= in.Height - b)
            code = htBottom;
        if (p.X < b)
            code = code == htTop ? htTopLeft : code == htBottom ? htBottomLeft : htLeft;
        else if (p.X >= in.Width - b)
            code = code == htTop ? htTopRight : code == htBottom ? htBottomRight : htRight;
        if (code != htNowhere)
            return code;
    }

    // 3. Title, 4. menu line, 5. client with the size grip.
    // The title's lower edge is the title's too, except where the menu line
    // starts right below it: there the press opens the menu. A form without
    // a title has no such edge: that row is its client's (or menu line's).
    const int titleEdge = in.TitleHeight > 0 ? titleBottom : titleBottom - 1;
    if (p.Y >= 0 && p.Y <= titleEdge) {
        if (!IsEmpty(in.IconRect) && Contains(in.IconRect, p))
            return htSysMenu;
        if (p.Y == titleBottom && in.MenuHeight > 0 && p.X >= side && p.X < in.Width - side)
            return htMenu;
        return htCaption;
    }
    if (p.Y >= titleBottom && p.Y < titleBottom + in.MenuHeight) {
        if (!IsEmpty(in.ChildClose) && Contains(in.ChildClose, p))
            return htChildClose;
        if (!IsEmpty(in.ChildRestore) && Contains(in.ChildRestore, p))
            return htChildRestore;
        if (!IsEmpty(in.ChildMin) && Contains(in.ChildMin, p))
            return htChildMin;
        return htMenu;
    }
    if (!IsEmpty(in.GripRect) && Contains(in.GripRect, p))
        return htBottomRight;
    return htClient;
}

TRect GripCorner(const TRect& client, int w, int h)
{
    w = std::clamp(std::min(w, (client.Right - client.Left) / 2), 0, kMaxGripSide);
    h = std::clamp(std::min(h, (client.Bottom - client.Top) / 2), 0, kMaxGripSide);
    return TRect(client.Right - w, client.Bottom - h, client.Right, client.Bottom);
}

int SnapCoordinate(int p, int size, int edge, int buffer)
{
    const int d = p + size - edge;
    return (d < 0 ? -d : d) < buffer ? edge - size : p;
}

TRect MaximizedRegionRect(int width, int height, int borderWidth, int sysBorderWidth)
{
    return TRect(borderWidth, sysBorderWidth, width - borderWidth, height - sysBorderWidth);
}

int CaptionAnswer(int own, bool frameSizesNothing)
{
    switch (own) {
    case htSysMenu:
    case htMenu:
    case htMinButton:
    case htMaxButton:
    case htClose:
    case htHelp:
        return htCaption;
    default:
        return frameSizesNothing && own >= htLeft && own <= htBottomRight ? htCaption : own;
    }
}

TRect WorkAreaRegionRect(const TRect& window, const TRect& workArea)
{
    const TRect on = Clip(window, workArea);
    if (IsEmpty(on))
        return TRect();
    return TRect(on.Left - window.Left, on.Top - window.Top, on.Right - window.Left, on.Bottom - window.Top);
}

TRect SizeOutline(int edge, TPoint cursor, TPoint start, const TRect& form, int minWidth, int minHeight)
{
    TRect r = form;
    const int dx = cursor.X - start.X, dy = cursor.Y - start.Y;
    const bool top = edge == htTop || edge == htTopLeft || edge == htTopRight;
    const bool left = edge == htLeft || edge == htTopLeft || edge == htBottomLeft;
    const bool vertical = edge != htLeft && edge != htRight;
    const bool horizontal = edge != htTop && edge != htBottom;
    if (vertical) {
        if (top) {
            r.Top = form.Top + dy;
            if (r.Bottom - r.Top < minHeight)
                r.Top = r.Bottom - minHeight;
        } else {
            r.Bottom = form.Bottom + dy;
            if (r.Bottom - r.Top < minHeight)
                r.Bottom = r.Top + minHeight;
        }
    }
    if (horizontal) {
        if (left) {
            r.Left = form.Left + dx;
            if (r.Right - r.Left < minWidth)
                r.Left = r.Right - minWidth;
        } else {
            r.Right = form.Right + dx;
            if (r.Right - r.Left < minWidth)
                r.Right = r.Left + minWidth;
        }
    }
    return r;
}

} // namespace skin
