// The album preview: opening animation, fit, zoom steps, drag, edge zones, swipes, stepping with
// a decode thread and a four-frame cross-fade.
#include "album/AlbumPreview.h"

#include "imaging/Draw8.h"
#include "imaging/ImageCodec/ImageLoad.h"
#include "ui/RenderWindow.h"
#include "ui/UiResources.h"

#include <algorithm>
#include <cmath>
#include <cstring>

using platform::String16;

namespace {

constexpr uint32_t kKeyEscape = 27, kKeyLeft = 37, kKeyRight = 39;
constexpr int kClickSlop = 5;
constexpr int kSwipeDistance = 80;

void FillColour(ImageBuffer8& image, uint8_t alpha)
{
    if (!image.data)
        return;
    const size_t n = size_t(image.width) * size_t(image.height);
    for (size_t i = 0; i < n; ++i) {
        uint8_t* p = image.data + i * 4;
        p[0] = p[1] = p[2] = 0;
        p[3] = alpha;
    }
}

// Nearest-pixel copy of the whole source into the rectangle of the target, at an opacity
// (0..256) over what is there.
void DrawScaledNearest(ImageBuffer8& target, const ImageBuffer8& source, const SRect& r, int opacity)
{
    const int w = r.Width(), h = r.Height();
    if (!source.data || !target.data || w <= 0 || h <= 0)
        return;
    ImageBuffer8 scaled;
    if (!ResizeImage8(source, scaled, w, h, 1))
        return;
    BlendImage8(target, scaled, r.left, r.top, true, opacity);
    FreeImageBuffer(scaled);
}

template <class W>
void AskFrame(W* window)
{
    if constexpr (requires { window->RequestFrame(); })
        window->RequestFrame();
}

} // namespace

const double CSAlbumPreview::kZoomSteps[kZoomStepCount] = {0.1, 0.25, 0.333333333, 0.5, 0.66666666666, 1, 2, 3,
                                                            4,   5,    6,           7,   8,             9, 10, 20};

CSAlbumPreview::CSAlbumPreview()
{
    SetFlags(Flags() | SF_INPUT | SF_NO_MOUSE_FOCUS);
    m_loader = [](const char16_t* path, ImageBuffer8& out) { return LoadImage8(path, out); };
    m_decodeThread = std::thread([this] { DecodeLoop(); });
}

CSAlbumPreview::~CSAlbumPreview()
{
    StopDecodeThread();
    platform::ScopedLock lock(m_lock);
    FreeImageBuffer(m_picture);
    FreeImageBuffer(m_oldView);
    FreeImageBuffer(m_newView);
}

void CSAlbumPreview::SetPictureLoader(PictureLoader loader)
{
    std::lock_guard<std::mutex> lock(m_decodeMutex);
    m_loader = loader ? std::move(loader)
                      : PictureLoader([](const char16_t* path, ImageBuffer8& out) { return LoadImage8(path, out); });
}

// ---------------------------------------------------------------------------------------------
// Paths and loading

void CSAlbumPreview::ClearPaths()
{
    m_paths.clear();
    m_index = 0;
}

void CSAlbumPreview::AddPath(const char16_t* path)
{
    if (!path)
        return;
    String16 p(path);
    if (p.size() > size_t(kPathMax))
        return; // never cut to another file's name
    m_paths.push_back(std::move(p));
}

void CSAlbumPreview::DecodeLoop()
{
    std::unique_lock<std::mutex> lock(m_decodeMutex);
    for (;;) {
        m_decodeWake.wait(lock, [this] { return m_decodeStop || m_hasRequest; });
        if (m_decodeStop)
            return;
        DecodeRequest request = m_request;
        m_hasRequest = false;
        m_decodeBusy = true;
        PictureLoader loader = m_loader;
        lock.unlock();
        // The decode runs with no lock held: the UI and render threads go on.
        ImageBuffer8 picture;
        const int ok = loader && loader(request.path.c_str(), picture) && picture.data ? 1 : 0;
        lock.lock();
        FreeImageBuffer(m_decoded);
        m_decoded = picture; // the buffer record moves; nothing is copied
        picture = ImageBuffer8{};
        m_doneNumber = request.number;
        m_doneResult = ok;
        m_answerPending = true;
        lock.unlock();
        // Posted before the decode counts as finished: whoever waits for it (a closing window
        // among them) finds no post still on its way.
        ::PostSpriteMessage(this, kMsgDecoded, intptr_t(request.number), 0, this);
        lock.lock();
        m_decodeBusy = false;
        m_decodeDone.notify_all();
    }
}

void CSAlbumPreview::StopDecodeThread()
{
    {
        std::lock_guard<std::mutex> lock(m_decodeMutex);
        m_decodeStop = true;
    }
    m_decodeWake.notify_all();
    m_decodeDone.notify_all();
    if (m_decodeThread.joinable())
        m_decodeThread.join();
}

void CSAlbumPreview::StartDecode(uint32_t number, const String16& path)
{
    {
        std::lock_guard<std::mutex> lock(m_decodeMutex);
        m_request = {number, path};
        m_hasRequest = true;
    }
    m_decodeWake.notify_all();
}

int CSAlbumPreview::WaitForDecode()
{
    uint32_t number = 0;
    {
        std::unique_lock<std::mutex> lock(m_decodeMutex);
        m_decodeDone.wait(lock, [this] { return m_decodeStop || (!m_hasRequest && !m_decodeBusy); });
        if (!m_answerPending)
            return 0;
        number = m_doneNumber;
    }
    return TakeDecoded(number);
}

int CSAlbumPreview::TakeDecoded(uint32_t number)
{
    ImageBuffer8 picture;
    int ok = 0;
    {
        std::lock_guard<std::mutex> lock(m_decodeMutex);
        if (!m_answerPending || m_doneNumber != number)
            return 0;
        m_answerPending = false;
        ok = m_doneResult;
        picture = m_decoded;
        m_decoded = ImageBuffer8{};
    }
    // Only the newest request counts; a failed decode changes nothing.
    const bool current = number == m_lastRequest && m_requestedIndex >= 0 && m_requestedIndex < int(m_paths.size());
    if (ok && current)
        SwapIn(picture, m_requestedIndex, m_animState.load() != kOpening && IsVisible());
    FreeImageBuffer(picture);
    return ok && current ? 1 : 0;
}

int CSAlbumPreview::OpenAt(const char16_t* path)
{
    if (!path)
        return 0;
    int found = -1;
    for (size_t i = 0; i < m_paths.size() && found < 0; ++i)
        if (m_paths[i] == path)
            found = int(i);
    if (found < 0)
        return 0;
    if (m_window)
        m_window->BeginBusy({});
    m_requestedIndex = found;
    StartDecode(++m_lastRequest, m_paths[size_t(found)]);
    const bool loaded = WaitForDecode() != 0;
    if (m_window)
        m_window->EndBusy();
    m_index = found; // also after a failure: the preview then shows no picture and a click closes it
    if (!loaded) {
        platform::ScopedLock lock(m_lock);
        FreeImageBuffer(m_picture);
        m_visible = m_pictureRect = SRect{};
    }
    return loaded ? 1 : 0;
}

// ---------------------------------------------------------------------------------------------
// Geometry

SRect CSAlbumPreview::FitRect(int left, int top, int right, int bottom) const
{
    const SRect area{left + 1, top + 1, right - 1, bottom - 1};
    const int W = area.Width(), H = area.Height();
    int w = 0, h = 0;
    {
        platform::ScopedLock lock(m_lock);
        w = m_picture.width;
        h = m_picture.height;
    }
    if (!m_picture.data || w <= 0 || h <= 0 || W <= 0 || H <= 0)
        return area;
    int fw = w, fh = h;
    if (w > W || h > H) {
        if (int64_t(W) * h < int64_t(H) * w) {
            fw = W;
            fh = std::max(1, int(int64_t(h) * W / w));
        } else {
            fh = H;
            fw = std::max(1, int(int64_t(w) * H / h));
        }
    }
    const int x = area.left + (W - fw) / 2, y = area.top + (H - fh) / 2;
    return {x, y, x + fw, y + fh};
}

void CSAlbumPreview::Fit()
{
    const int W = m_view.Width(), H = m_view.Height();
    {
        platform::ScopedLock lock(m_lock);
        const int w = m_picture.width, h = m_picture.height;
        if (m_picture.data && w > 0 && h > 0 && W > 0 && H > 0) {
            const double z = int64_t(W) * h < int64_t(H) * w ? double(W) / w : double(H) / h;
            m_zoom = std::min(z, 1.0);
        } else {
            m_zoom = 1.0;
        }
    }
    SetOrigin(0, 0);
}

void CSAlbumPreview::SetOrigin(int x, int y)
{
    PlaceView(x, y);
    // Outside the lock: an invalidation reaches the parents' tile maps.
    Invalidate();
}

void CSAlbumPreview::PlaceView(int x, int y)
{
    platform::ScopedLock lock(m_lock);
    const int pw = m_picture.data ? m_picture.width : 0, ph = m_picture.data ? m_picture.height : 0;
    const int W = m_view.Width(), H = m_view.Height();
    if (pw <= 0 || ph <= 0 || m_zoom <= 0) {
        m_visible = m_pictureRect = SRect{};
        m_viewDirty.store(1);
        return;
    }
    const int spanX = int(W / m_zoom), spanY = int(H / m_zoom);
    SRect v;
    v.left = std::max(0, x);
    v.top = std::max(0, y);
    v.right = v.left + spanX;
    v.bottom = v.top + spanY;
    if (v.right > pw) {
        v.right = pw;
        v.left = std::max(0, pw - spanX);
    }
    if (v.bottom > ph) {
        v.bottom = ph;
        v.top = std::max(0, ph - spanY);
    }
    m_visible = v;
    // Where the shown part lands: its size at the zoom, centred in the view.
    int ow = v.Width(), oh = v.Height();
    if (std::abs(m_zoom - 1.0) > 1e-10) {
        ow = int(std::lround(v.Width() * m_zoom));
        oh = int(std::lround(v.Height() * m_zoom));
    }
    const int left = (W - ow) / 2, top = (H - oh) / 2;
    m_pictureRect = {left, top, left + ow, top + oh};
    m_viewDirty.store(1);
}

SRect CSAlbumPreview::VisibleRect() const
{
    platform::ScopedLock lock(m_lock);
    return m_visible;
}

SRect CSAlbumPreview::PictureRect() const
{
    platform::ScopedLock lock(m_lock);
    return m_pictureRect;
}

int CSAlbumPreview::PictureWidth() const
{
    platform::ScopedLock lock(m_lock);
    return m_picture.data ? m_picture.width : 0;
}

int CSAlbumPreview::PictureHeight() const
{
    platform::ScopedLock lock(m_lock);
    return m_picture.data ? m_picture.height : 0;
}

bool CSAlbumPreview::HasPicture() const
{
    platform::ScopedLock lock(m_lock);
    return m_picture.data != nullptr;
}

uint32_t CSAlbumPreview::PicturePixel(int x, int y) const
{
    platform::ScopedLock lock(m_lock);
    if (!m_picture.data || x < 0 || y < 0 || x >= m_picture.width || y >= m_picture.height)
        return 0;
    uint32_t v;
    std::memcpy(&v, m_picture.data + (size_t(y) * m_picture.width + x) * 4, 4);
    return v;
}

SPoint CSAlbumPreview::PicturePoint(int x, int y) const
{
    platform::ScopedLock lock(m_lock);
    const double z = m_zoom > 0 ? m_zoom : 1.0;
    int px = int(std::lround((x - m_pictureRect.left) / z)) + m_visible.left;
    int py = int(std::lround((y - m_pictureRect.top) / z)) + m_visible.top;
    px = std::clamp(px, 0, std::max(0, m_picture.width - 1));
    py = std::clamp(py, 0, std::max(0, m_picture.height - 1));
    return {px, py};
}

double CSAlbumPreview::NextZoomStep(double zoom, bool up)
{
    if (up) {
        if (zoom < kZoomSteps[0])
            return kZoomSteps[0];
        for (double s : kZoomSteps)
            if (s > zoom + 1e-9)
                return s;
        return zoom;
    }
    if (zoom > kZoomSteps[kZoomStepCount - 1])
        return kZoomSteps[kZoomStepCount - 1];
    for (int i = kZoomStepCount - 1; i >= 0; --i)
        if (kZoomSteps[i] < zoom - 1e-9)
            return kZoomSteps[i];
    return zoom;
}

int CSAlbumPreview::ZoomAt(int x, int y, bool forward)
{
    if (!HasPicture() || m_dragging)
        return 0;
    {
        const SRect r = PictureRect();
        if (x < r.left || y < r.top || x >= r.right || y >= r.bottom)
            return 0;
    }
    const SPoint p = PicturePoint(x, y);
    double zoom;
    {
        platform::ScopedLock lock(m_lock);
        const bool whole = m_visible.left == 0 && m_visible.top == 0 && m_visible.right == m_picture.width &&
                           m_visible.bottom == m_picture.height;
        if (!forward && whole)
            return 0;
        zoom = NextZoomStep(m_zoom, forward);
        if (zoom == m_zoom)
            return 0;
        m_zoom = zoom;
    }
    const int W = m_view.Width(), H = m_view.Height();
    SetOrigin(int(p.x - W / 2.0 / zoom), int(p.y - H / 2.0 / zoom));
    return 1;
}

// ---------------------------------------------------------------------------------------------
// Showing, closing, stepping

void CSAlbumPreview::SetPos(int x, int y, int width, int height)
{
    CMessageSprite::SetPos(x, y, width, height);
    m_view = {0, 0, width, height};
    SetOrigin(VisibleRect().left, VisibleRect().top);
}

void CSAlbumPreview::Open(const SRect& from, const SRect& to, const SRect& view)
{
    SetPos(view.left, view.top, view.Width(), view.Height());
    SetVisible(1);
    m_animState.store(kOpening);
    for (int i = 0; i <= 8; ++i) {
        const double f = double(i) / 8.0;
        const int t = int(f * f * f * 256.0);
        {
            platform::ScopedLock lock(m_lock);
            m_animRect = {(from.left * (256 - t) + to.left * t) / 256, (from.top * (256 - t) + to.top * t) / 256,
                          (from.right * (256 - t) + to.right * t) / 256,
                          (from.bottom * (256 - t) + to.bottom * t) / 256};
            m_animWeight.store(std::clamp(t, 0, 255));
        }
        Invalidate();
        AskFrame(m_window);
        if (m_framePauseMs > 0)
            platform::SleepMs(uint32_t(m_framePauseMs));
    }
    m_animState.store(kShowing);
    Fit();
    if (m_window) {
        m_window->SetCapture(this);
        m_window->SetFocus(this, false);
    }
}

void CSAlbumPreview::Close()
{
    ++m_lastRequest; // answers still on their way are dropped
    if (m_window && IsVisible()) {
        const SRect r = LocalToWindowRect(PictureRect());
        if (!r.IsEmpty())
            m_window->PlayFadeEffect(nullptr, r.left, r.top, r.right, r.bottom);
    }
    if (m_framePauseMs > 0)
        platform::SleepMs(uint32_t(m_framePauseMs));
    SetVisible(0);
    m_dragging = m_pressed = false;
    {
        platform::ScopedLock lock(m_lock);
        FreeImageBuffer(m_oldView);
        FreeImageBuffer(m_newView);
        m_animState.store(kShowing);
    }
    Invalidate();
    if (m_window) {
        m_window->ReleaseCapture(this);
        if (m_parent)
            m_parent->Invalidate();
    }
}

int CSAlbumPreview::Step(bool forward)
{
    const int n = int(m_paths.size());
    if (n < 1)
        return 0;
    const int from = m_requestedIndex >= 0 && m_requestedIndex < n ? m_requestedIndex : m_index;
    const int next = forward ? (from + 1 >= n ? 0 : from + 1) : (from - 1 < 0 ? n - 1 : from - 1);
    if (next == m_index && next == from)
        return 0;
    m_requestedIndex = next;
    StartDecode(++m_lastRequest, m_paths[size_t(next)]);
    return 1;
}

void CSAlbumPreview::SwapIn(ImageBuffer8& picture, int newIndex, bool crossFade)
{
    // The new picture's layout and its scaled view are made before the lock: the render thread
    // keeps drawing the old one meanwhile.
    const int W = m_view.Width(), H = m_view.Height();
    const int w = picture.width, h = picture.height;
    double zoom = 1.0;
    if (W > 0 && H > 0 && w > 0 && h > 0)
        zoom = std::min(1.0, int64_t(W) * h < int64_t(H) * w ? double(W) / w : double(H) / h);
    ImageBuffer8 scaled;
    int ow = w, oh = h;
    if (std::abs(zoom - 1.0) > 1e-10) {
        ow = std::max(1, int(std::lround(std::min(w, int(W / zoom)) * zoom)));
        oh = std::max(1, int(std::lround(std::min(h, int(H / zoom)) * zoom)));
    }
    if (crossFade && W > 0 && H > 0)
        ResizeImage8(picture, scaled, ow, oh, zoom < 1.0 ? 2 : 1);
    {
        platform::ScopedLock lock(m_lock);
        if (crossFade)
            CopyImage8(m_oldView, m_image);
        std::swap(m_picture, picture); // the old picture leaves through `picture`
        m_index = newIndex;
        m_animState.store(kSwitching);
    }
    Fit();
    {
        platform::ScopedLock lock(m_lock);
        if (crossFade && m_oldView.data && scaled.data) {
            CopyImage8(m_newView, m_oldView);
            FillColour(m_newView, 192);
            const SRect r = m_pictureRect;
            BlendImage8(m_newView, scaled, r.left, r.top, true, 256);
            DrawRectOutline8(m_newView, 0xE6E6E6, 128, r.left - 1, r.top - 1, r.right + 1, r.bottom + 1);
        }
        if (m_oldView.data && m_newView.data && m_oldView.width == m_newView.width &&
            m_oldView.height == m_newView.height) {
            m_fadeStep.store(0);
            m_animState.store(kFading);
        } else {
            FreeImageBuffer(m_oldView);
            FreeImageBuffer(m_newView);
            m_animState.store(kShowing);
        }
    }
    FreeImageBuffer(scaled);
    m_viewDirty.store(1);
    Invalidate();
}

// ---------------------------------------------------------------------------------------------
// Drawing (render thread, under the sprite's lock)

void CSAlbumPreview::DrawView(ImageBuffer8& target)
{
    FillColour(target, 192);
    const SRect v = m_visible;
    if (!m_picture.data || v.IsEmpty())
        return;
    const SRect r = m_pictureRect;
    ImageBuffer8 part;
    if (ResizeImage8(m_picture, part, r.Width(), r.Height(), m_zoom < 1.0 ? 2 : 1, v.left, v.top, v.right,
                     v.bottom)) {
        BlendImage8(target, part, r.left, r.top, true, 256);
        FreeImageBuffer(part);
    }
    DrawRectOutline8(target, 0xE6E6E6, 128, r.left - 1, r.top - 1, r.right + 1, r.bottom + 1);
}

int CSAlbumPreview::OnDraw(uint32_t)
{
    if (!m_image.data)
        return 0;
    const int state = m_animState.load();
    if (state == kOpening) {
        FillColour(m_image, 160);
        if (m_picture.data && !m_animRect.IsEmpty())
            DrawScaledNearest(m_image, m_picture, m_animRect, (2 * m_animWeight.load() + 230) / 3);
        return 1;
    }
    if (state == kFading) {
        const int s = m_fadeStep.load();
        if (m_oldView.data && m_newView.data && m_oldView.width == m_image.width &&
            m_oldView.height == m_image.height && m_newView.width == m_image.width) {
            const size_t n = size_t(m_image.width) * size_t(m_image.height);
            const uint8_t* o = m_oldView.data;
            const uint8_t* nw = m_newView.data;
            uint8_t* t = m_image.data;
            for (size_t i = 0; i < n; ++i, o += 4, nw += 4, t += 4) {
                t[0] = uint8_t((o[0] * (4 - s) + nw[0] * s) / 4);
                t[1] = uint8_t((o[1] * (4 - s) + nw[1] * s) / 4);
                t[2] = uint8_t((o[2] * (4 - s) + nw[2] * s) / 4);
                t[3] = nw[3];
            }
        }
        if (s + 1 > 3) {
            FreeImageBuffer(m_oldView);
            FreeImageBuffer(m_newView);
            m_animState.store(kFadeDone);
        } else {
            m_fadeStep.store(s + 1);
        }
        InvalidateRect(0, 0, 0, 0, 1);
        return 1;
    }
    if (state == kFadeDone) {
        m_animState.store(kShowing);
        m_viewDirty.store(1);
    }
    if (state == kSwitching)
        return 0;
    if (m_viewDirty.exchange(0) || AllDirty()) {
        DrawView(m_image);
        InvalidateRect(0, 0, 0, 0, 1);
        return 1;
    }
    return 0;
}

void CSAlbumPreview::ReleaseResources(int flag)
{
    // The window or the page is going: no decode may answer any more.
    StopDecodeThread();
    {
        platform::ScopedLock lock(m_lock);
        FreeImageBuffer(m_oldView);
        FreeImageBuffer(m_newView);
    }
    CMessageSprite::ReleaseResources(flag);
}

// ---------------------------------------------------------------------------------------------
// Input

void CSAlbumPreview::UpdateHover(int x, int y)
{
    m_hoverZone = kZoneOutside;
    const int W = m_view.Width(), H = m_view.Height();
    if (x < 0 || y < 0 || x >= W || y >= H)
        return;
    const SRect r = PictureRect();
    const int margin = (W - r.Width()) / 2;
    const int edge = margin < W / 5 ? W / 5 : margin;
    if (m_paths.size() >= 2 && x < edge) {
        m_hoverZone = kZonePrevious;
        return;
    }
    if (m_paths.size() >= 2 && x >= W - edge) {
        m_hoverZone = kZoneNext;
        return;
    }
    platform::ScopedLock lock(m_lock);
    const bool whole = m_picture.data && m_visible.left == 0 && m_visible.top == 0 &&
                       m_visible.right == m_picture.width && m_visible.bottom == m_picture.height;
    m_hoverZone = whole ? kZoneWhole : kZoneDrag;
}

void CSAlbumPreview::OnMouseWheel(int x, int y, int delta)
{
    ZoomAt(x, y, delta > 0);
}

void CSAlbumPreview::OnMouseMove(int x, int y, uint32_t)
{
    if (m_dragging) {
        double z;
        SRect r;
        {
            platform::ScopedLock lock(m_lock);
            z = m_zoom > 0 ? m_zoom : 1.0;
            r = m_pictureRect;
        }
        SetOrigin(m_dragStart.x - int(std::lround((x - r.left) / z)), m_dragStart.y - int((y - r.top) / z));
        return;
    }
    UpdateHover(x, y);
    OnSetCursor(x, y);
}

int CSAlbumPreview::OnSetCursor(int, int)
{
    if (!m_window)
        return 1;
    static platform::CustomCursor previous, next, hand;
    static bool hasPrevious = false, hasNext = false;
    static const bool loaded = [] {
        hasPrevious = LoadProgramCursor(kCursorPrevious, 8, 15, previous) != 0;
        hasNext = LoadProgramCursor(kCursorNext, 23, 15, next) != 0;
        hand = BuildHandCursor();
        return true;
    }();
    (void)loaded;
    platform::Window* w = m_window->PlatformWindow();
    if (m_hoverZone == kZonePrevious && w && hasPrevious)
        w->SetCursor(previous);
    else if (m_hoverZone == kZoneNext && w && hasNext)
        w->SetCursor(next);
    else if ((m_hoverZone == kZoneDrag || m_dragging) && w)
        w->SetCursor(hand);
    else
        m_window->SetCursor(platform::StandardCursor::Arrow);
    return 1;
}

void CSAlbumPreview::OnLButtonDown(int x, int y, uint32_t)
{
    UpdateHover(x, y);
    if (m_hoverZone == kZoneOutside) {
        Close();
        return;
    }
    if (!HasPicture()) {
        // No picture (it could not be read): any click closes.
        Close();
        return;
    }
    if (m_hoverZone == kZoneDrag) {
        const SPoint p = PicturePoint(x, y);
        m_dragging = true;
        m_dragStart = p;
        if (m_window)
            m_window->SetCapture(this);
        return;
    }
    m_pressed = true;
    m_pressPoint = {x, y};
    if (m_window)
        m_window->SetCapture(this);
}

void CSAlbumPreview::OnLButtonUp(int x, int, uint32_t)
{
    if (m_pressed) {
        const int dx = x - m_pressPoint.x;
        m_pressed = false;
        if (std::abs(dx) < kClickSlop) {
            if (m_hoverZone == kZonePrevious)
                Step(false);
            else if (m_hoverZone == kZoneNext)
                Step(true);
            else if (m_hoverZone == kZoneWhole) {
                m_dragging = false;
                Close();
                return;
            }
        } else if (std::abs(dx) > kSwipeDistance) {
            Step(dx < 0);
        }
    }
    m_dragging = false;
    if (m_window)
        m_window->ReleaseCapture(this);
}

void CSAlbumPreview::OnRButtonDown(int, int, uint32_t)
{
    Close();
}

void CSAlbumPreview::OnKeyDown(uint32_t key, uint32_t, uint32_t)
{
    if (key == kKeyEscape)
        Close();
    else if (key == kKeyLeft)
        Step(false);
    else if (key == kKeyRight)
        Step(true);
}

void CSAlbumPreview::OnCaptureReleased()
{
    m_dragging = false;
    m_pressed = false;
}

int CSAlbumPreview::OnSpriteMessage(SpriteMessage* message)
{
    if (message && message->code == kMsgDecoded) {
        TakeDecoded(uint32_t(message->param1));
        return 1;
    }
    return CMessageSprite::OnSpriteMessage(message);
}
