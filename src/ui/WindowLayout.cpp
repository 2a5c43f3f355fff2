#include "ui/WindowLayout.h"

#include <algorithm>

namespace kelo::ui {

namespace layout {

namespace {

struct Place {
  int id, x, y, w, h;
};

// Layout 0 (720x480 preview).
constexpr Place kLayout0[] = {
    {1055, 5, 486, 724, 59},   {1001, 8, 496, 718, 20},   {1045, 470, 517, 250, 20},
    {1005, 104, 517, 48, 20},  {1006, 152, 517, 24, 20},  {1007, 176, 517, 30, 20},
    {1008, 206, 517, 36, 20},  {1004, 80, 517, 24, 20},   {1003, 50, 517, 30, 20},
    {1002, 14, 517, 36, 20},   {1012, 254, 517, 24, 20},  {1013, 278, 517, 24, 20},
    {1014, 308, 517, 24, 20},  {1015, 332, 517, 24, 20},  {1009, 372, 519, 74, 18},
    {1056, 5, 548, 356, 81},   {1046, 39, 563, 12, 18},   {1059, 82, 567, 12, 13},
    {1022, 97, 565, 38, 20},   {1060, 142, 567, 12, 13},  {1021, 157, 565, 38, 20},
    {1024, 207, 565, 90, 18},  {1010, 82, 595, 215, 24},  {1017, 15, 582, 60, 20},
    {1025, 15, 602, 60, 20},   {1020, 304, 582, 24, 20},  {1023, 328, 582, 24, 20},
    {1018, 304, 562, 48, 20},  {1019, 304, 602, 48, 20},  {1058, 372, 548, 356, 81},
    {1036, 406, 563, 12, 18},  {1061, 449, 567, 12, 13},  {1039, 464, 565, 38, 20},
    {1062, 509, 567, 12, 13},  {1038, 524, 565, 38, 20},  {1044, 574, 565, 90, 18},
    {1011, 449, 595, 215, 24}, {1028, 382, 582, 60, 20},  {1050, 382, 602, 60, 20},
    {1042, 671, 582, 24, 20},  {1043, 695, 582, 24, 20},  {1040, 671, 562, 48, 20},
    {1041, 671, 602, 48, 20},  {1064, 737, 0, 210, 545},  {1070, 746, 13, 80, 16},
    {1047, 745, 31, 195, 424}, {1029, 745, 467, 51, 20},  {1030, 817, 467, 51, 20},
    {1031, 889, 467, 51, 20},  {1065, 746, 501, 128, 16}, {1048, 745, 517, 138, 20},
    {1032, 889, 517, 51, 20},  {1063, 737, 548, 210, 81}, {1027, 745, 562, 195, 13},
    {1026, 746, 581, 90, 13},  {1035, 880, 577, 60, 20},  {1033, 745, 601, 51, 20},
    {1034, 817, 601, 51, 20},  {1037, 889, 601, 51, 20},
};

// Layout 2 (640 wide): change of x and of width against layout 0; ids not listed keep their place.
struct Shift {
  int id, dx, dw;
};
constexpr Shift kLayout2[] = {
    {1055, 0, -80},   {1001, 0, -80},   {1045, -22, -58}, {1056, 0, -37},   {1046, -5, 0},
    {1059, -11, 0},   {1022, -11, -2},  {1060, -20, 0},   {1021, -20, -2},  {1024, -24, -3},
    {1010, -7, -20},  {1017, -2, -5},   {1025, -2, -5},   {1020, -27, -4},  {1023, -31, -4},
    {1018, -27, -8},  {1019, -27, -8},  {1058, -43, -37}, {1036, -48, 0},   {1061, -54, 0},
    {1039, -54, -2},  {1062, -63, 0},   {1038, -63, -2},  {1044, -67, -3},  {1011, -50, -20},
    {1028, -45, -5},  {1050, -45, -5},  {1042, -70, -4},  {1043, -74, -4},  {1040, -70, -8},
    {1041, -70, -8},  {1064, -80, 0},   {1070, -80, 0},   {1047, -80, 0},   {1029, -80, 0},
    {1030, -80, 0},   {1031, -80, 0},   {1032, -80, 0},   {1065, -80, 0},   {1048, -80, 0},
    {1063, -80, 0},   {1027, -80, 0},   {1026, -80, 0},   {1035, -80, 0},   {1033, -80, 0},
    {1034, -80, 0},   {1037, -80, 0},
};

constexpr int kLayoutCount = 5;
constexpr QSize kPreviewSizes[kLayoutCount] = {{720, 480}, {720, 540}, {640, 480}, {720, 576}, {720, 405}};

// The safe areas as left, top, right, bottom of the rectangles drawn (right and bottom
// exclusive).
constexpr int kSafeAreas[kLayoutCount][2][4] = {
    {{39, 31, 695, 463}, {71, 55, 663, 439}},
    {{39, 34, 695, 520}, {71, 61, 663, 493}},
    {{35, 31, 619, 463}, {64, 55, 590, 439}},
    {{39, 36, 695, 554}, {71, 65, 663, 525}},
    {{39, 27, 695, 392}, {71, 48, 663, 371}},
};

constexpr QPoint kPicturePlace{5, 5};  // top-left corner of the preview frame

int validLayout(int l) { return std::clamp(l, 0, kLayoutCount - 1); }

const Place* findPlace(int id) {
  for (const Place& p : kLayout0)
    if (p.id == id) return &p;
  return nullptr;
}

}  // namespace

int layoutFor(settings::PreviewSize size, bool pal) {
  switch (size) {
    case settings::PreviewSize::FrameSize: return pal ? 3 : 0;
    case settings::PreviewSize::Size720x540: return 1;
    case settings::PreviewSize::Size640x480: return 2;
    case settings::PreviewSize::Size720x405: return 4;
  }
  return 0;
}

QSize previewSizeOf(int l) { return kPreviewSizes[validLayout(l)]; }

QSize clientSize(int l) {
  const QSize preview = previewSizeOf(l);
  // The right-hand column ends at 947 and the code groups at 629 in layout 0.
  return {947 + (preview.width() - 720), 629 + (preview.height() - 480)};
}

QRect controlRect(int l, int id) {
  const Place* p = findPlace(id);
  if (!p) return {};
  QRect r(p->x, p->y, p->w, p->h);
  l = validLayout(l);
  if (l == 2) {
    for (const Shift& s : kLayout2)
      if (s.id == id) r = QRect(r.x() + s.dx, r.y(), r.width() + s.dw, r.height());
    return r;
  }
  const int d = previewSizeOf(l).height() - 480;
  if (id == 1070) return r;                                            // label stays
  if (id == 1064 || id == 1047) return r.adjusted(0, 0, 0, d);         // file column grows
  return r.translated(0, d);
}

const std::vector<int>& controlIds() {
  static const std::vector<int> ids = [] {
    std::vector<int> v;
    for (const Place& p : kLayout0) v.push_back(p.id);
    return v;
  }();
  return ids;
}

QRect previewFrameRect(int l) {
  const QSize preview = previewSizeOf(l);
  return QRect(kPicturePlace, QSize(preview.width() + 4, preview.height() + 4));
}

std::array<QRect, 2> safeAreaRects(int l) {
  std::array<QRect, 2> rects;
  for (int i = 0; i < 2; ++i) {
    const int* a = kSafeAreas[validLayout(l)][i];
    rects[i] = QRect(QPoint(a[0], a[1]), QPoint(a[2] - 1, a[3] - 1));
  }
  return rects;
}

}  // namespace layout

}  // namespace kelo::ui
