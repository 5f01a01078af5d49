// Shader functions of the terminal renderer. Each section below, opened by a
// line "//! name", is one shader stage, compiled on its own with
// "#version 330 core" put in front.
//
// Records (GpuRecords.h) arrive as vertex attributes: position at location 0,
// size at 1, texture origin or coordinate at 2, texture size at 3, colour at
// 4. Cell records are per instance and expand into six vertices in the order
// (left, bottom), (right, bottom), (left, top), (right, bottom), (right, top),
// (left, top). Positions are device pixels, y upwards from the lower-left
// corner; `viewport` is the drawable size in pixels. Textured fragments clamp
// sampling half a texel inside their region so glyphs packed edge to edge do
// not bleed into each other.

//! terminal_text_vertex
layout(location = 0) in vec2 position;
layout(location = 2) in vec2 texCoord;
layout(location = 4) in vec4 color;
uniform vec2 viewport;
out vec2 vTexCoord;
out vec4 vColor;
flat out vec4 vRegion;
void main()
{
    gl_Position = vec4(position / viewport * 2.0 - 1.0, 0.0, 1.0);
    vTexCoord = texCoord;
    vColor = color;
    vRegion = vec4(0.0, 0.0, 1.0, 1.0);
}

//! terminal_cell_text_vertex
layout(location = 0) in vec2 position;
layout(location = 1) in vec2 size;
layout(location = 2) in vec2 texOrigin;
layout(location = 3) in vec2 texSize;
layout(location = 4) in vec4 color;
uniform vec2 viewport;
out vec2 vTexCoord;
out vec4 vColor;
flat out vec4 vRegion;
const vec2 corners[6] = vec2[6](vec2(0.0, 0.0), vec2(1.0, 0.0), vec2(0.0, 1.0),
                                vec2(1.0, 0.0), vec2(1.0, 1.0), vec2(0.0, 1.0));
void main()
{
    vec2 corner = corners[gl_VertexID % 6];
    gl_Position = vec4((position + corner * size) / viewport * 2.0 - 1.0, 0.0, 1.0);
    vTexCoord = texOrigin + corner * texSize;
    vColor = color;
    vRegion = vec4(min(texOrigin, texOrigin + texSize), max(texOrigin, texOrigin + texSize));
}

//! terminal_text_fragment
in vec2 vTexCoord;
in vec4 vColor;
flat in vec4 vRegion;
uniform sampler2D atlas;
out vec4 fragColor;
vec2 clampedCoord()
{
    vec2 halfTexel = 0.5 / vec2(textureSize(atlas, 0));
    vec2 low = vRegion.xy + halfTexel;
    vec2 high = max(low, vRegion.zw - halfTexel);
    return clamp(vTexCoord, low, high);
}
void main()
{
    // Atlas and image texels are premultiplied already. The nearest texel:
    // colour glyphs are drawn one texel to a pixel, and images are scaled
    // without smoothing, as the view's CPU drawing scales them.
    vec2 size = vec2(textureSize(atlas, 0));
    fragColor = texelFetch(atlas, ivec2(min(floor(clampedCoord() * size), size - 1.0)), 0);
}

//! terminal_text_fragment_gray
in vec2 vTexCoord;
in vec4 vColor;
flat in vec4 vRegion;
uniform sampler2D atlas;
out vec4 fragColor;
vec2 clampedCoord()
{
    vec2 halfTexel = 0.5 / vec2(textureSize(atlas, 0));
    vec2 low = vRegion.xy + halfTexel;
    vec2 high = max(low, vRegion.zw - halfTexel);
    return clamp(vTexCoord, low, high);
}
void main()
{
    float coverage = texture(atlas, clampedCoord()).r * vColor.a;
    fragColor = vec4(vColor.rgb * coverage, coverage);
}

//! terminal_color_vertex
layout(location = 0) in vec2 position;
layout(location = 4) in vec4 color;
uniform vec2 viewport;
out vec4 vColor;
void main()
{
    gl_Position = vec4(position / viewport * 2.0 - 1.0, 0.0, 1.0);
    vColor = color;
}

//! terminal_cell_color_vertex
layout(location = 0) in vec2 position;
layout(location = 1) in vec2 size;
layout(location = 4) in vec4 color;
uniform vec2 viewport;
out vec4 vColor;
const vec2 corners[6] = vec2[6](vec2(0.0, 0.0), vec2(1.0, 0.0), vec2(0.0, 1.0),
                                vec2(1.0, 0.0), vec2(1.0, 1.0), vec2(0.0, 1.0));
void main()
{
    vec2 corner = corners[gl_VertexID % 6];
    gl_Position = vec4((position + corner * size) / viewport * 2.0 - 1.0, 0.0, 1.0);
    vColor = color;
}

//! terminal_color_fragment
in vec4 vColor;
out vec4 fragColor;
void main()
{
    fragColor = vColor;
}
