// EMF to SVG with libemf2svg.
#include "Convert.h"

#include <emf2svg.h>

#include <cstdlib>

namespace mgmeta {

bool EmfToSvg(std::vector<unsigned char>& data, std::string& svg)
{
    if (data.empty())
        return false;
    generatorOptions options{};
    options.nameSpace = const_cast<char*>("svg");
    options.verbose = false;
    options.emfplus = true;
    options.svgDelimiter = true;
    options.imgWidth = 0; // the picture's own bounds
    options.imgHeight = 0;
    char* out = nullptr;
    size_t length = 0;
    const int ok = emf2svg(reinterpret_cast<char*>(data.data()), data.size(), &out, &length, &options);
    if (ok && out && length > 0)
        svg.assign(out, length);
    std::free(out);
    return ok && !svg.empty();
}

} // namespace mgmeta
