#ifndef MH_ASSETS_LIGHT_H
#define MH_ASSETS_LIGHT_H

// One light as the device uploads it each frame.
class FXLight {
  public:
    FXLight();

    void SetDefDiffuse(float a);
    void SetDefault(float a) { SetDefDiffuse(a); }
    void SetDefAmbient(float a);
    void SetDiffuseDark(float v, float a);
    void SetDefSpecular(float a);
    void MultiColor(const float* m);
    void MultiColorF(float r, float g, float b, float a);

    int lightId;
    float position[4];
    float spotDirection[4];
    float ambient[4];
    float diffuse[4];
    float specular[4];
    float spotExponent;
    float spotCutoff;
    float constantAttenuation;
    float linearAttenuation;
    float quadraticAttenuation;
    bool disabled;
};

#endif
