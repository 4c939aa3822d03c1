#include "capture/PixelFormat.h"

#include <bit>
#include <xcb/xcb.h>

namespace {

constexpr int bgrxBytes = 4;
constexpr int maxTableBits = 8;
constexpr std::uint32_t bgrxRed = 0xff0000;
constexpr std::uint32_t bgrxGreen = 0x00ff00;
constexpr std::uint32_t bgrxBlue = 0x0000ff;

const xcb_visualtype_t *findVisual(const xcb_screen_t *screen, xcb_visualid_t id)
{
    xcb_depth_iterator_t depths = xcb_screen_allowed_depths_iterator(screen);
    for (; depths.rem > 0; xcb_depth_next(&depths)) {
        xcb_visualtype_iterator_t visuals = xcb_depth_visuals_iterator(depths.data);
        for (; visuals.rem > 0; xcb_visualtype_next(&visuals)) {
            if (visuals.data->visual_id == id)
                return visuals.data;
        }
    }
    return nullptr;
}

bool contiguous(std::uint32_t mask)
{
    return mask != 0 && std::has_single_bit((mask >> std::countr_zero(mask)) + 1);
}

} // namespace

PixelFormat PixelFormat::ofRoot(xcb_connection_t *connection, std::uint32_t root)
{
    const xcb_setup_t *setup = xcb_get_setup(connection);
    const xcb_screen_t *screen = nullptr;
    for (auto it = xcb_setup_roots_iterator(setup); it.rem > 0; xcb_screen_next(&it)) {
        if (it.data->root == root)
            screen = it.data;
    }
    if (!screen)
        return {};
    int bitsPerPixel = 0;
    int pad = 32;
    for (auto it = xcb_setup_pixmap_formats_iterator(setup); it.rem > 0; xcb_format_next(&it)) {
        if (it.data->depth == screen->root_depth) {
            bitsPerPixel = it.data->bits_per_pixel;
            pad = it.data->scanline_pad;
        }
    }
    const xcb_visualtype_t *visual = findVisual(screen, screen->root_visual);
    const bool trueColor = visual && (visual->_class == XCB_VISUAL_CLASS_TRUE_COLOR ||
                                      visual->_class == XCB_VISUAL_CLASS_DIRECT_COLOR);
    return PixelFormat(screen->root_depth, bitsPerPixel, pad, trueColor,
                       visual ? visual->red_mask : 0, visual ? visual->green_mask : 0,
                       visual ? visual->blue_mask : 0,
                       setup->image_byte_order == XCB_IMAGE_ORDER_MSB_FIRST);
}

PixelFormat::PixelFormat(int depth, int bitsPerPixel, int scanlinePad, bool trueColor,
                         std::uint32_t redMask, std::uint32_t greenMask, std::uint32_t blueMask,
                         bool msbFirst)
    : m_depth(depth), m_bitsPerPixel(bitsPerPixel), m_scanlinePad(scanlinePad),
      m_trueColor(trueColor), m_masks{redMask, greenMask, blueMask}, m_msbFirst(msbFirst),
      m_red(channelOf(redMask)), m_green(channelOf(greenMask)), m_blue(channelOf(blueMask))
{
}

QString PixelFormat::refusal() const
{
    if (m_depth == 0)
        return QString::fromUtf8("无法截取屏幕：找不到 X 显示的屏幕");
    const bool knownSize = m_bitsPerPixel == 16 || m_bitsPerPixel == 24 || m_bitsPerPixel == 32;
    const bool masksUsable =
        contiguous(m_masks[0]) && contiguous(m_masks[1]) && contiguous(m_masks[2]) &&
        (m_bitsPerPixel == 32 || ((m_masks[0] | m_masks[1] | m_masks[2]) >> m_bitsPerPixel) == 0);
    if (m_trueColor && knownSize && masksUsable && m_scanlinePad % 8 == 0)
        return {};
    const QString what = m_trueColor ? QString::fromUtf8("（%1 位色深，每像素 %2 位）无法识别")
                                           .arg(m_depth)
                                           .arg(m_bitsPerPixel)
                                     : QString::fromUtf8("（%1 位色深）不是真彩色").arg(m_depth);
    return QString::fromUtf8("无法截取屏幕：显示器的颜色格式%1，不能用于演示。"
                             "请把显示设置为 16 位、24 位或 32 位真彩色后再开始演示")
        .arg(what);
}

bool PixelFormat::isBgrx() const
{
    return m_bitsPerPixel == 32 && !m_msbFirst && m_masks[0] == bgrxRed &&
           m_masks[1] == bgrxGreen && m_masks[2] == bgrxBlue;
}

int PixelFormat::stride(int width) const
{
    const long long bits = static_cast<long long>(width) * m_bitsPerPixel;
    const long long padded = (bits + m_scanlinePad - 1) / m_scanlinePad * m_scanlinePad;
    return static_cast<int>(padded / 8);
}

// Channels of up to 8 bits widen through a table (so 5 bits of 31 give 255, not 248); wider
// ones keep their top 8 bits.
PixelFormat::Channel PixelFormat::channelOf(std::uint32_t mask)
{
    Channel channel;
    if (mask == 0)
        return channel;
    channel.shift = std::countr_zero(mask);
    channel.bits = std::popcount(mask);
    if (channel.bits <= maxTableBits) {
        const unsigned top = (1u << channel.bits) - 1;
        channel.widen.resize(top + 1);
        for (unsigned v = 0; v <= top; ++v)
            channel.widen[v] = static_cast<std::uint8_t>((v * 255 + top / 2) / top);
    }
    return channel;
}

void PixelFormat::toBgrx(const std::uint8_t *src, int srcStride, int width, int height,
                         std::uint8_t *dst) const
{
    switch (m_bitsPerPixel / 8 + (m_msbFirst ? 8 : 0)) {
    case 2:
        return convertRows<2, false>(src, srcStride, width, height, dst);
    case 3:
        return convertRows<3, false>(src, srcStride, width, height, dst);
    case 4:
        return convertRows<4, false>(src, srcStride, width, height, dst);
    case 10:
        return convertRows<2, true>(src, srcStride, width, height, dst);
    case 11:
        return convertRows<3, true>(src, srcStride, width, height, dst);
    case 12:
        return convertRows<4, true>(src, srcStride, width, height, dst);
    default:
        break;
    }
}

template <int Bytes, bool Msb>
void PixelFormat::convertRows(const std::uint8_t *src, int srcStride, int width, int height,
                              std::uint8_t *dst) const
{
    // Each channel's layout copied out of this object: the byte stores below may alias anything,
    // so members would be read again for every pixel.
    struct Lane
    {
        std::uint32_t shift;
        std::uint32_t mask;
        int bits;
        const std::uint8_t *table;
    };
    const auto laneOf = [](const Channel &c) {
        return Lane{std::uint32_t(c.shift), (1u << c.bits) - 1, c.bits, c.widen.data()};
    };
    const Lane blue = laneOf(m_blue);
    const Lane green = laneOf(m_green);
    const Lane red = laneOf(m_red);
    const auto widen = [](const Lane &c, std::uint32_t pixel) -> std::uint8_t {
        const std::uint32_t v = (pixel >> c.shift) & c.mask;
        return c.bits <= maxTableBits ? c.table[v] : static_cast<std::uint8_t>(v >> (c.bits - 8));
    };
    for (int y = 0; y < height; ++y) {
        const std::uint8_t *in = src + static_cast<std::ptrdiff_t>(y) * srcStride;
        std::uint8_t *out = dst + static_cast<std::ptrdiff_t>(y) * width * bgrxBytes;
        for (int x = 0; x < width; ++x, in += Bytes, out += bgrxBytes) {
            std::uint32_t pixel = 0;
            for (int i = 0; i < Bytes; ++i)
                pixel |= std::uint32_t(in[i]) << (8 * (Msb ? Bytes - 1 - i : i));
            out[0] = widen(blue, pixel);
            out[1] = widen(green, pixel);
            out[2] = widen(red, pixel);
            out[3] = 0;
        }
    }
}
