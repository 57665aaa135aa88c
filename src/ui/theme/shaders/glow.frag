#version 440
// Compiled ahead of time, so that nothing is compiled at start-up; after a change run
//   /usr/lib/qt6/bin/qsb --glsl "100 es,120,150" --hlsl 50 --msl 12 -o glow.frag.qsb glow.frag
// (Debian package qt6-shader-baker) and commit both files.
// A soft shadow of the source's shape in one colour, drawn under the source when asked: the
// glows and drop shadows of the theme. A 7 x 7 Gaussian over the source's alpha, the taps
// spread over the radius. The effect's area is the source's plus `margin` on every side.
layout(location = 0) in vec2 qt_TexCoord0;
layout(location = 0) out vec4 fragColor;
layout(std140, binding = 0) uniform buf {
    mat4 qt_Matrix;
    float qt_Opacity;
    vec4 glowColor;  // straight (not premultiplied) colour, alpha already times the opacity
    vec2 margin;     // the margin as a share of the source's width and height
    vec2 tapStep;      // the distance between two taps, as a share of the source's size
    vec2 offset;     // the shadow's offset, as a share of the source's size
    float drawSource; // 1: the source is drawn over its shadow (the item is hidden by a layer)
};
layout(binding = 1) uniform sampler2D source;

vec4 sourceAt(vec2 uv) {
    vec2 inside = step(vec2(0.0), uv) * step(uv, vec2(1.0));
    return texture(source, uv) * inside.x * inside.y;
}

void main() {
    vec2 uv = qt_TexCoord0 * (1.0 + 2.0 * margin) - margin;
    float alpha = 0.0;
    float total = 0.0;
    for (int y = -3; y <= 3; ++y) {
        for (int x = -3; x <= 3; ++x) {
            // sigma of 1.5 taps: the radius (3 taps) is two deviations
            float weight = exp(-float(x * x + y * y) / 4.5);
            alpha += weight * sourceAt(uv - offset + vec2(float(x), float(y)) * tapStep).a;
            total += weight;
        }
    }
    float shadow = glowColor.a * alpha / total;
    vec4 result = vec4(glowColor.rgb * shadow, shadow);
    if (drawSource > 0.5) {
        vec4 top = sourceAt(uv);
        result = top + result * (1.0 - top.a);
    }
    fragColor = result * qt_Opacity;
}
