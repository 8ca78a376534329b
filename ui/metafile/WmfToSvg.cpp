// WMF to SVG with libwmf's SVG device layer, all in memory.
#include "Convert.h"

#include <libwmf/api.h>
#include <libwmf/svg.h>

namespace mgmeta {

bool WmfToSvg(std::vector<unsigned char>& data, std::string& svg, unsigned& width, unsigned& height)
{
    if (data.empty() || data.size() > 0x7fffffff)
        return false;
    wmfAPI_Options options{};
    options.function = wmf_svg_function;
    const unsigned long flags = WMF_OPT_FUNCTION | WMF_OPT_IGNORE_NONFATAL | WMF_OPT_NO_ERROR | WMF_OPT_NO_DEBUG;
    wmfAPI* api = nullptr;
    if (wmf_api_create(&api, flags, &options) != wmf_E_None) {
        if (api)
            wmf_api_destroy(api);
        return false;
    }
    bool ok = false;
    char* buffer = nullptr;
    unsigned long length = 0;
    wmfD_Rect bbox{};
    if (wmf_mem_open(api, data.data(), long(data.size())) == wmf_E_None && wmf_scan(api, 0, &bbox) == wmf_E_None) {
        unsigned w = 0, h = 0;
        if (wmf_display_size(api, &w, &h, 96, 96) == wmf_E_None && w > 0 && h > 0) {
            wmf_svg_t* device = WMF_SVG_GetData(api);
            device->bbox = bbox;
            device->out = wmf_stream_create(api, nullptr); // memory stream
            device->Description = const_cast<char*>("murkglass");
            device->width = w;
            device->height = h;
            device->flags |= WMF_SVG_INLINE_IMAGES;
            if (device->out) {
                const bool played = wmf_play(api, 0, &bbox) == wmf_E_None;
                wmf_stream_destroy(api, device->out, &buffer, &length);
                device->out = nullptr;
                if (played && buffer && length > 0) {
                    svg.assign(buffer, length);
                    width = w;
                    height = h;
                    ok = true;
                }
            }
        }
        wmf_mem_close(api);
    }
    // The memory stream's buffer belongs to libwmf's allocation store, which
    // wmf_api_destroy releases with everything else.
    wmf_api_destroy(api);
    return ok;
}

} // namespace mgmeta
