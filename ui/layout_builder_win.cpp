// Win32 side of the layout builder: fetches the template resource, measures
// the font, adjusts the host and creates the controls.
#include "ui/layout_builder_win.h"

#include <cstdio>
#include <cstring>

#include "ui/dialog_template.h"
#include "ui/gdi_scoped_win.h"

namespace {

const char kErrorCaption[] = "Error";

// The window property that keeps the font the builder created for the host's
// controls, until ReleaseLayoutFont deletes it.
const char kLayoutFontProperty[] = "ZubLayoutFont";

void ShowLayoutError(HWND host, const char* text) {
    MessageBoxA(host, text, kErrorCaption, MB_OK);
}

void ReportInvalidLayout(HWND host) {
    ShowLayoutError(host, "Window controls layout is invalid.");
}

// Chooses the font of the template (or the stock one) and measures the base
// units with it on the screen.
HFONT ChooseFontAndMeasure(const DialogHeader& header, BaseUnits& units) {
    ScopedGetDC screen(nullptr);
    HFONT font = nullptr;
    if (header.hasFont) {
        int height = FontHeightForPoints(header.pointSize, GetDeviceCaps(screen, LOGPIXELSY));
        font = CreateFontA(height, 0, 0, 0, 0, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0, 0, 0,
                           header.faceName.c_str());
    }
    if (font == nullptr) {
        font = static_cast<HFONT>(GetStockObject(ANSI_VAR_FONT));
    }
    ScopedSelectObject selected(screen, font);
    TEXTMETRICA metrics = {};
    GetTextMetricsA(screen, &metrics);
    SIZE extent = {};
    GetTextExtentPoint32A(screen, kBaseUnitAlphabet,
                          static_cast<int>(std::strlen(kBaseUnitAlphabet)), &extent);
    units.vertical = metrics.tmHeight;
    units.horizontal = HorizontalBaseUnit(extent.cx);
    return font;
}

bool ResizeHost(HWND host, HWND parent, const DialogHeader& header, const BaseUnits& units) {
    if (header.x != 0 || header.y != 0) {
        return false;
    }
    LONG style = GetWindowLongA(host, GWL_STYLE);
    SetWindowLongA(host, GWL_STYLE,
                   static_cast<LONG>(MergeHostStyle(static_cast<uint32_t>(style), header.style)));
    PixelSize size = HostSizeForTemplate(header, units, GetSystemMetrics(SM_CYCAPTION));
    RECT frame = {};
    GetWindowRect(host, &frame);
    POINT corner = {frame.left, frame.top};
    if (parent != nullptr) {
        ScreenToClient(parent, &corner);
    }
    MoveWindow(host, corner.x, corner.y, size.width, size.height, FALSE);
    return true;
}

}  // namespace

int BuildControlsFromTemplate(HWND host, HWND parent, LPCSTR templateName, HINSTANCE instance,
                              int resize) {
    HRSRC resource = FindResourceA(instance, templateName, MAKEINTRESOURCEA(5));  // RT_DIALOG
    HGLOBAL loaded = resource ? LoadResource(instance, resource) : nullptr;
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (bytes == nullptr) {
        ShowLayoutError(host, "Couldn't load window controls layout.");
        return 0;
    }
    DialogTemplateReader reader(static_cast<const uint8_t*>(bytes),
                                SizeofResource(instance, resource));

    DialogHeader header;
    if (reader.ReadHeader(header) != TemplateOk) {
        ReportInvalidLayout(host);
        return 0;
    }
    SetWindowTextA(host, header.title.c_str());

    BaseUnits units;
    HFONT font = ChooseFontAndMeasure(header, units);
    if (font != GetStockObject(ANSI_VAR_FONT)) {
        SetPropA(host, kLayoutFontProperty, font);
    }

    if (resize && !ResizeHost(host, parent, header, units)) {
        ReportInvalidLayout(host);
        return 0;
    }

    for (;;) {
        DialogItem item;
        TemplateResult result = reader.ReadItem(item);
        if (result == TemplateNoMoreItems) {
            break;
        }
        ControlSpec spec;
        if (result != TemplateOk || !ControlSpecForItem(item, units, spec)) {
            ReportInvalidLayout(host);
            return 0;
        }
        HWND control = CreateWindowExA(spec.exStyle, spec.className.c_str(), spec.text.c_str(),
                                       spec.style, spec.x, spec.y, spec.width, spec.height, host,
                                       reinterpret_cast<HMENU>(static_cast<UINT_PTR>(spec.id)),
                                       instance, nullptr);
        if (control == nullptr) {
            char text[80];
            std::snprintf(text, sizeof text,
                          "CreateWindow for control failed with GetLastError==%d",
                          static_cast<int>(GetLastError()));
            ShowLayoutError(host, text);
            return 0;
        }
        SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }
    return 1;
}

void ReleaseLayoutFont(HWND host) {
    HANDLE font = RemovePropA(host, kLayoutFontProperty);
    if (font != nullptr) {
        DeleteObject(font);
    }
}
