// Shader functions of the terminal renderer. Each section below, opened by a
// line "//! name", is one shader stage, compiled on its own with
// "#version 330 core" put in front.
//
// Records (GpuRecords.h) arrive as vertex attributes: position at location 0,
// size at 1, texture origin or coordinate at 2, texture size at 3, colour at
// 4. Cell records expand into six vertices in the order (left, bottom),
// (right, bottom), (left, top), (right, bottom), (right, top), (left, top).
// They are read in one of two ways: with `fetchRecords` set, from the buffer
// texture `records` (four floats a texel, a text cell three texels, a colour
// cell two), record `firstRecord + gl_VertexID / 6` in a plain triangle
// list; otherwise one record per instance from the attributes. Software
// drivers run the vertex stage once per instance, so the plain list is far
// cheaper there; the instanced form is for records past the driver's
// buffer texture limit. Positions are device pixels, y upwards from the
// lower-left corner; `viewport` is the drawable size in pixels.
//
// Textured stages hand the fragments texel coordinates (`vTexel`, in texels
// of the bound texture) and the inclusive texel bounds of their region
// (`vRegion`, low x, low y, high x, high y); a fragment takes the nearest
// texel clamped into the region, so glyphs packed edge to edge never bleed
// into each other. Glyphs and custom glyphs are placed one texel to a
// device pixel, where the nearest texel is what filtering would give too;
// images are scaled without smoothing, as the view's CPU drawing scales
// them. The fragment stage does no more than one fetch and a multiply,
// which matters on software drivers, where it runs for every pixel.

//! terminal_text_vertex
layout(location = 0) in vec2 position;
layout(location = 2) in vec2 texCoord;
layout(location = 4) in vec4 color;
uniform vec2 viewport;
uniform sampler2D atlas;
out vec2 vTexel;
flat out vec4 vColor;
flat out ivec4 vRegion;
void main()
{
    ivec2 size = textureSize(atlas, 0);
    gl_Position = vec4(position / viewport * 2.0 - 1.0, 0.0, 1.0);
    vTexel = texCoord * vec2(size);
    vColor = color;
    vRegion = ivec4(0, 0, size - 1);
}

//! terminal_cell_text_vertex
layout(location = 0) in vec2 instancePosition;
layout(location = 1) in vec2 instanceSize;
layout(location = 2) in vec2 instanceTexOrigin;
layout(location = 3) in vec2 instanceTexSize;
layout(location = 4) in vec4 instanceColor;
uniform vec2 viewport;
uniform bool fetchRecords;
uniform int firstRecord;
uniform samplerBuffer records;
uniform sampler2D atlas;
out vec2 vTexel;
flat out vec4 vColor;
flat out ivec4 vRegion;
const vec2 corners[6] = vec2[6](vec2(0.0, 0.0), vec2(1.0, 0.0), vec2(0.0, 1.0),
                                vec2(1.0, 0.0), vec2(1.0, 1.0), vec2(0.0, 1.0));
void main()
{
    vec2 position = instancePosition, size = instanceSize;
    vec2 texOrigin = instanceTexOrigin, texSize = instanceTexSize;
    vec4 color = instanceColor;
    if (fetchRecords) {
        int base = (firstRecord + gl_VertexID / 6) * 3;
        vec4 rect = texelFetch(records, base);
        vec4 tex = texelFetch(records, base + 1);
        position = rect.xy;
        size = rect.zw;
        texOrigin = tex.xy;
        texSize = tex.zw;
        color = texelFetch(records, base + 2);
    }
    vec2 corner = corners[gl_VertexID % 6];
    gl_Position = vec4((position + corner * size) / viewport * 2.0 - 1.0, 0.0, 1.0);
    vec2 atlasSize = vec2(textureSize(atlas, 0));
    vTexel = (texOrigin + corner * texSize) * atlasSize;
    // The texels whose centres lie inside the region.
    vec2 low = floor(min(texOrigin, texOrigin + texSize) * atlasSize + 0.5);
    vec2 high = max(low, floor(max(texOrigin, texOrigin + texSize) * atlasSize - 0.5));
    vColor = color;
    vRegion = ivec4(low, high);
}

//! terminal_text_fragment
in vec2 vTexel;
flat in vec4 vColor;
flat in ivec4 vRegion;
uniform sampler2D atlas;
out vec4 fragColor;
void main()
{
    // Atlas and image texels are premultiplied already.
    fragColor = texelFetch(atlas, clamp(ivec2(vTexel), vRegion.xy, vRegion.zw), 0);
}

//! terminal_text_fragment_gray
in vec2 vTexel;
flat in vec4 vColor;
flat in ivec4 vRegion;
uniform sampler2D atlas;
out vec4 fragColor;
void main()
{
    float coverage = texelFetch(atlas, clamp(ivec2(vTexel), vRegion.xy, vRegion.zw), 0).r * vColor.a;
    fragColor = vec4(vColor.rgb * coverage, coverage);
}

//! terminal_color_vertex
layout(location = 0) in vec2 position;
layout(location = 4) in vec4 color;
uniform vec2 viewport;
flat out vec4 vColor;
void main()
{
    gl_Position = vec4(position / viewport * 2.0 - 1.0, 0.0, 1.0);
    vColor = color;
}

//! terminal_cell_color_vertex
layout(location = 0) in vec2 instancePosition;
layout(location = 1) in vec2 instanceSize;
layout(location = 4) in vec4 instanceColor;
uniform vec2 viewport;
uniform bool fetchRecords;
uniform int firstRecord;
uniform samplerBuffer records;
flat out vec4 vColor;
const vec2 corners[6] = vec2[6](vec2(0.0, 0.0), vec2(1.0, 0.0), vec2(0.0, 1.0),
                                vec2(1.0, 0.0), vec2(1.0, 1.0), vec2(0.0, 1.0));
void main()
{
    vec2 position = instancePosition, size = instanceSize;
    vec4 color = instanceColor;
    if (fetchRecords) {
        int base = (firstRecord + gl_VertexID / 6) * 2;
        vec4 rect = texelFetch(records, base);
        position = rect.xy;
        size = rect.zw;
        color = texelFetch(records, base + 1);
    }
    vec2 corner = corners[gl_VertexID % 6];
    gl_Position = vec4((position + corner * size) / viewport * 2.0 - 1.0, 0.0, 1.0);
    vColor = color;
}

//! terminal_color_fragment
flat in vec4 vColor;
out vec4 fragColor;
void main()
{
    fragColor = vColor;
}
