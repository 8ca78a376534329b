#pragma once
// Metafile to SVG conversion inside the helper process. Each returns false
// when the library refuses the data.
#include <iterator>
#include <string>
#include <vector>

namespace mgmeta {

// WMF through libwmf's SVG device; width and height are the picture's size in
// pixels at 96 dots per inch.
bool WmfToSvg(std::vector<unsigned char>& data, std::string& svg, unsigned& width, unsigned& height);
// EMF through libemf2svg.
bool EmfToSvg(std::vector<unsigned char>& data, std::string& svg);
// Whether the library for the kind accepts a small good metafile of our own.
bool RendererWorks(bool wmf);

} // namespace mgmeta
