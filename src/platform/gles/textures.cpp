// The layer's textures: GL's texture objects and their levels kept here,
// the pixels handed to ES; gluBuild2DMipmaps's levels made on the CPU; reads
// of the framebuffer and of textures.
#include <algorithm>
#include <vector>

#include "platform/gles/mipmaps.h"
#include "platform/gles/state.h"

namespace platform::gles {

namespace {

// GLU's answers.
constexpr GLint kGluInvalidEnum = 100900, kGluInvalidValue = 100901;

// The ES format a GL texture of this client format is kept in, and the bytes
// of one pixel; 0 for a format the layer does not take.
int BytesPerPixel(GLenum format) {
  switch (format) {
    case GL_RGBA: return 4;
    case GL_RGB: return 3;
    case GL_LUMINANCE_ALPHA: return 2;
    case GL_LUMINANCE:
    case GL_ALPHA: return 1;
    default: return 0;
  }
}

GLenum EsCopyFormat(GLenum internalFormat) {
  switch (internalFormat) {
    case 3:
    case GL_RGB:
    case GL_RGB8: return GL_RGB;
    case 1:
    case GL_LUMINANCE: return GL_LUMINANCE;
    case GL_ALPHA: return GL_ALPHA;
    case 2:
    case GL_LUMINANCE_ALPHA: return GL_LUMINANCE_ALPHA;
    default: return GL_RGBA;
  }
}

std::size_t RowBytes(int width, int bytesPerPixel, GLint alignment) {
  const std::size_t row = static_cast<std::size_t>(width) * static_cast<std::size_t>(bytesPerPixel);
  const std::size_t a = static_cast<std::size_t>(std::max(alignment, 1));
  return (row + a - 1) / a * a;
}

bool LevelOk(GLint level) { return level >= 0 && level < kMaxLevels; }

// Reads a rectangle of the framebuffer bound for reading into pixels as GL
// packs it; ES reads RGBA, the other formats are cut from it here.
void ReadRectangle(GLint x, GLint y, GLsizei w, GLsizei h, GLenum format, GLenum type, void* pixels) {
  State& l = Layer();
  const int bytes = BytesPerPixel(format);
  if (type != GL_UNSIGNED_BYTE || bytes == 0) return SetError(GL_INVALID_ENUM);
  if (w < 0 || h < 0) return SetError(GL_INVALID_VALUE);
  if (format == GL_RGBA) return l.es.glReadPixels(x, y, w, h, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
  std::vector<std::uint8_t> rgba(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 4);
  l.es.glPixelStorei(GL_PACK_ALIGNMENT, 1);
  l.es.glReadPixels(x, y, w, h, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
  l.es.glPixelStorei(GL_PACK_ALIGNMENT, l.packAlignment);
  const std::size_t stride = RowBytes(w, bytes, l.packAlignment);
  auto* out = static_cast<std::uint8_t*>(pixels);
  for (GLsizei row = 0; row < h; ++row) {
    const std::uint8_t* s = rgba.data() + static_cast<std::size_t>(row) * static_cast<std::size_t>(w) * 4;
    std::uint8_t* d = out + static_cast<std::size_t>(row) * stride;
    for (GLsizei i = 0; i < w; ++i, s += 4) {
      // GL's luminance of a read pixel is the sum of its colours.
      const int luminance = std::min(255, s[0] + s[1] + s[2]);
      switch (format) {
        case GL_RGB: *d++ = s[0], *d++ = s[1], *d++ = s[2]; break;
        case GL_LUMINANCE_ALPHA: *d++ = static_cast<std::uint8_t>(luminance), *d++ = s[3]; break;
        case GL_LUMINANCE: *d++ = static_cast<std::uint8_t>(luminance); break;
        default: *d++ = s[3]; break;
      }
    }
  }
}

void GenerateNames(GLsizei n, GLuint* names) {
  State& l = Layer();
  for (GLsizei i = 0; i < n; ++i) {
    while (l.textures.count(l.nextTextureName)) ++l.nextTextureName;
    names[i] = l.nextTextureName++;
  }
}

void UploadLevel(GLint level, GLint internalFormat, GLsizei w, GLsizei h, GLenum format, const void* pixels) {
  State& l = Layer();
  Texture& t = BoundTexture();
  t.levels[static_cast<std::size_t>(level)] = TextureLevel{w, h, internalFormat, format};
  if (!l.started) return;
  BindEsTexture(t.es);
  l.es.glTexImage2D(GL_TEXTURE_2D, level, static_cast<GLint>(format), w, h, 0, format, GL_UNSIGNED_BYTE, pixels);
}

}  // namespace

bool Complete(const Texture& t) {
  const TextureLevel& base = t.levels[0];
  if (base.width <= 0 || base.height <= 0) return false;
  if (t.minFilter == GL_NEAREST || t.minFilter == GL_LINEAR) return true;
  int w = base.width, h = base.height;
  for (int i = 1; w > 1 || h > 1; ++i) {
    w = std::max(1, w / 2);
    h = std::max(1, h / 2);
    if (i >= kMaxLevels) return false;
    const TextureLevel& level = t.levels[static_cast<std::size_t>(i)];
    if (level.width != w || level.height != h || level.internalFormat != base.internalFormat) return false;
  }
  return true;
}

Texture& TextureNamed(GLuint name) {
  State& l = Layer();
  Texture& t = l.textures[name];
  if (t.es == 0 && l.started) l.es.glGenTextures(1, &t.es);
  return t;
}

Texture& BoundTexture() { return TextureNamed(Layer().boundTexture); }

namespace entries {

void QUILLON_GLAPI glGenTextures(GLsizei n, GLuint* names) {
  if (Refused()) return;
  if (n < 0) return SetError(GL_INVALID_VALUE);
  GenerateNames(n, names);
}

void QUILLON_GLAPI glDeleteTextures(GLsizei n, const GLuint* names) {
  State& l = Layer();
  if (Refused()) return;
  if (n < 0) return SetError(GL_INVALID_VALUE);
  Flush();  // the batch may sample one of them
  for (GLsizei i = 0; i < n; ++i) {
    const auto found = names[i] == 0 ? l.textures.end() : l.textures.find(names[i]);
    if (found == l.textures.end()) continue;
    if (found->second.es != 0 && l.started) {
      if (l.esTexture == found->second.es) BindEsTexture(0);
      l.es.glDeleteTextures(1, &found->second.es);
    }
    l.textures.erase(found);
    if (l.boundTexture == names[i]) l.boundTexture = 0;
  }
}

void QUILLON_GLAPI glBindTexture(GLenum target, GLuint name) {
  if (Refused()) return;
  if (target != GL_TEXTURE_2D) return SetError(GL_INVALID_ENUM);
  Layer().boundTexture = name;
  TextureNamed(name);
}

GLboolean QUILLON_GLAPI glIsTexture(GLuint name) {
  if (Refused()) return GL_FALSE;
  return name != 0 && Layer().textures.count(name) ? GL_TRUE : GL_FALSE;
}

void QUILLON_GLAPI glTexParameteri(GLenum target, GLenum pname, GLint param) {
  State& l = Layer();
  if (Refused()) return;
  if (target != GL_TEXTURE_2D) return SetError(GL_INVALID_ENUM);
  Texture& t = BoundTexture();
  GLint es = param;
  switch (pname) {
    case GL_TEXTURE_MIN_FILTER:
      if (param != GL_NEAREST && param != GL_LINEAR && param != GL_NEAREST_MIPMAP_NEAREST &&
          param != GL_LINEAR_MIPMAP_NEAREST && param != GL_NEAREST_MIPMAP_LINEAR && param != GL_LINEAR_MIPMAP_LINEAR)
        return SetError(GL_INVALID_ENUM);
      t.minFilter = param;
      break;
    case GL_TEXTURE_MAG_FILTER:
      if (param != GL_NEAREST && param != GL_LINEAR) return SetError(GL_INVALID_ENUM);
      t.magFilter = param;
      break;
    case GL_TEXTURE_WRAP_S:
    case GL_TEXTURE_WRAP_T:
      if (param != GL_REPEAT && param != GL_CLAMP && param != static_cast<GLint>(kClampToEdge))
        return SetError(GL_INVALID_ENUM);
      // ES has no border colour to clamp towards: its nearest is the edge.
      if (param == GL_CLAMP) es = static_cast<GLint>(kClampToEdge);
      (pname == GL_TEXTURE_WRAP_S ? t.wrapS : t.wrapT) = param;
      break;
    default: return SetError(GL_INVALID_ENUM);
  }
  Flush();  // the batch was drawn with the texture as it was
  if (!l.started) return;
  BindEsTexture(t.es);
  l.es.glTexParameteri(GL_TEXTURE_2D, pname, es);
}

void QUILLON_GLAPI glTexEnvi(GLenum target, GLenum pname, GLint param) {
  if (Refused()) return;
  if (target != GL_TEXTURE_ENV || pname != GL_TEXTURE_ENV_MODE) return SetError(GL_INVALID_ENUM);
  if (param != GL_MODULATE && param != GL_REPLACE && param != GL_DECAL && param != GL_ADD)
    return SetError(GL_INVALID_ENUM);
  Layer().draw.envMode = param;
}

void QUILLON_GLAPI glTexImage2D(GLenum target, GLint level, GLint internal, GLsizei w, GLsizei h, GLint border,
                                GLenum format, GLenum type, const void* pixels) {
  if (Refused()) return;
  if (target != GL_TEXTURE_2D || type != GL_UNSIGNED_BYTE || BytesPerPixel(format) == 0)
    return SetError(GL_INVALID_ENUM);
  if (!LevelOk(level) || w < 0 || h < 0 || border != 0) return SetError(GL_INVALID_VALUE);
  Flush();
  UploadLevel(level, internal, w, h, format, pixels);
}

void QUILLON_GLAPI glTexSubImage2D(GLenum target, GLint level, GLint x, GLint y, GLsizei w, GLsizei h, GLenum format,
                                   GLenum type, const void* pixels) {
  State& l = Layer();
  if (Refused()) return;
  if (target != GL_TEXTURE_2D || type != GL_UNSIGNED_BYTE || BytesPerPixel(format) == 0)
    return SetError(GL_INVALID_ENUM);
  if (!LevelOk(level)) return SetError(GL_INVALID_VALUE);
  const TextureLevel& lv = BoundTexture().levels[static_cast<std::size_t>(level)];
  if (x < 0 || y < 0 || w < 0 || h < 0 || x + w > lv.width || y + h > lv.height) return SetError(GL_INVALID_VALUE);
  Flush();
  if (!l.started) return;
  BindEsTexture(BoundTexture().es);
  l.es.glTexSubImage2D(GL_TEXTURE_2D, level, x, y, w, h, format, GL_UNSIGNED_BYTE, pixels);
}

void QUILLON_GLAPI glCopyTexImage2D(GLenum target, GLint level, GLenum internal, GLint x, GLint y, GLsizei w,
                                    GLsizei h, GLint border) {
  State& l = Layer();
  if (Refused()) return;
  if (target != GL_TEXTURE_2D) return SetError(GL_INVALID_ENUM);
  if (!LevelOk(level) || w < 0 || h < 0 || border != 0) return SetError(GL_INVALID_VALUE);
  Flush();  // the copy takes what has been drawn
  Texture& t = BoundTexture();
  TextureLevel& lv = t.levels[static_cast<std::size_t>(level)];
  // ES copies no alpha from a framebuffer without it; GL reads it there as
  // 1, which a texture without alpha gives too.
  GLenum format = EsCopyFormat(internal);
  if (format == GL_RGBA && !l.framebufferAlpha) format = GL_RGB;
  // A level copied again at the same size and format (the finale's
  // feedback, every frame) keeps its storage: a browser makes a texture
  // anew for each glCopyTexImage2D.
  const bool same = lv.width == w && lv.height == h && lv.esFormat == format && w > 0 && h > 0;
  lv = TextureLevel{w, h, static_cast<GLint>(internal), format};
  if (!l.started) return;
  BindEsTexture(t.es);
  if (same)
    l.es.glCopyTexSubImage2D(GL_TEXTURE_2D, level, 0, 0, x, y, w, h);
  else
    l.es.glCopyTexImage2D(GL_TEXTURE_2D, level, format, x, y, w, h, 0);
}

void QUILLON_GLAPI glGetTexImage(GLenum target, GLint level, GLenum format, GLenum type, void* pixels) {
  State& l = Layer();
  if (Refused()) return;
  if (target != GL_TEXTURE_2D) return SetError(GL_INVALID_ENUM);
  if (!LevelOk(level)) return SetError(GL_INVALID_VALUE);
  Flush();
  const Texture& t = BoundTexture();
  const TextureLevel& lv = t.levels[static_cast<std::size_t>(level)];
  if (!l.started || lv.width == 0 || lv.height == 0) return;
  // ES reads textures only through a framebuffer.
  GLint before = 0;
  l.es.glGetIntegerv(kFramebufferBinding, &before);
  if (l.readFramebuffer == 0) l.es.glGenFramebuffers(1, &l.readFramebuffer);
  l.es.glBindFramebuffer(kFramebuffer, l.readFramebuffer);
  l.es.glFramebufferTexture2D(kFramebuffer, kColourAttachment0, GL_TEXTURE_2D, t.es, level);
  if (l.es.glCheckFramebufferStatus(kFramebuffer) == kFramebufferComplete) {
    ReadRectangle(0, 0, lv.width, lv.height, format, type, pixels);
  } else {
    SetError(GL_INVALID_OPERATION);
  }
  l.es.glFramebufferTexture2D(kFramebuffer, kColourAttachment0, GL_TEXTURE_2D, 0, 0);
  l.es.glBindFramebuffer(kFramebuffer, static_cast<GLuint>(before));
}

void QUILLON_GLAPI glGetTexParameteriv(GLenum target, GLenum pname, GLint* params) {
  if (Refused()) return;
  if (target != GL_TEXTURE_2D) return SetError(GL_INVALID_ENUM);
  const Texture& t = BoundTexture();
  switch (pname) {
    case GL_TEXTURE_MIN_FILTER: *params = t.minFilter; break;
    case GL_TEXTURE_MAG_FILTER: *params = t.magFilter; break;
    case GL_TEXTURE_WRAP_S: *params = t.wrapS; break;
    case GL_TEXTURE_WRAP_T: *params = t.wrapT; break;
    default: SetError(GL_INVALID_ENUM);
  }
}

void QUILLON_GLAPI glGetTexLevelParameteriv(GLenum target, GLint level, GLenum pname, GLint* params) {
  if (Refused()) return;
  if (target != GL_TEXTURE_2D) return SetError(GL_INVALID_ENUM);
  if (!LevelOk(level)) return SetError(GL_INVALID_VALUE);
  const TextureLevel& lv = BoundTexture().levels[static_cast<std::size_t>(level)];
  const GLenum base = EsCopyFormat(static_cast<GLenum>(lv.internalFormat));
  const bool defined = lv.width > 0;
  switch (pname) {
    case GL_TEXTURE_WIDTH: *params = lv.width; break;
    case GL_TEXTURE_HEIGHT: *params = lv.height; break;
    case GL_TEXTURE_BORDER: *params = 0; break;
    case GL_TEXTURE_INTERNAL_FORMAT: *params = defined ? lv.internalFormat : 1; break;
    case GL_TEXTURE_RED_SIZE:
    case GL_TEXTURE_GREEN_SIZE:
    case GL_TEXTURE_BLUE_SIZE:
      *params = defined && (base == GL_RGB || base == GL_RGBA) ? 8 : 0;
      break;
    case GL_TEXTURE_ALPHA_SIZE:
      *params = defined && (base == GL_RGBA || base == GL_ALPHA || base == GL_LUMINANCE_ALPHA) ? 8 : 0;
      break;
    case GL_TEXTURE_LUMINANCE_SIZE:
      *params = defined && (base == GL_LUMINANCE || base == GL_LUMINANCE_ALPHA) ? 8 : 0;
      break;
    default: SetError(GL_INVALID_ENUM);
  }
}

void QUILLON_GLAPI glPixelStorei(GLenum pname, GLint param) {
  State& l = Layer();
  if (Refused()) return;
  if (pname == GL_PACK_ALIGNMENT || pname == GL_UNPACK_ALIGNMENT) {
    if (param != 1 && param != 2 && param != 4 && param != 8) return SetError(GL_INVALID_VALUE);
    (pname == GL_PACK_ALIGNMENT ? l.packAlignment : l.unpackAlignment) = param;
  }
  Flush();
  if (l.started) l.es.glPixelStorei(pname, param);
}

void QUILLON_GLAPI glReadPixels(GLint x, GLint y, GLsizei w, GLsizei h, GLenum format, GLenum type, void* pixels) {
  if (Refused()) return;
  Flush();
  if (Layer().started) ReadRectangle(x, y, w, h, format, type, pixels);
}

GLint QUILLON_GLAPI gluBuild2DMipmaps(GLenum target, GLint components, GLint w, GLint h, GLenum format, GLenum type,
                                      const void* data) {
  State& l = Layer();
  const int bytes = BytesPerPixel(format);
  if (w < 1 || h < 1) return kGluInvalidValue;
  if (target != GL_TEXTURE_2D || type != GL_UNSIGNED_BYTE || bytes == 0) return kGluInvalidEnum;
  const int maxSide = l.maxTextureSize > 0 ? l.maxTextureSize : 1 << (kMaxLevels - 1);
  const std::vector<MipLevel> levels = BuildMipLevels(w, h, bytes, static_cast<const std::uint8_t*>(data),
                                                      RowBytes(w, bytes, l.unpackAlignment), maxSide);
  Flush();
  // The levels are packed tightly; the caller's unpacking is put back after.
  if (l.started) l.es.glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  for (std::size_t i = 0; i < levels.size() && i < kMaxLevels; ++i) {
    UploadLevel(static_cast<GLint>(i), components, levels[i].width, levels[i].height, format, levels[i].bytes.data());
  }
  if (l.started) l.es.glPixelStorei(GL_UNPACK_ALIGNMENT, l.unpackAlignment);
  return 0;
}

}  // namespace entries

}  // namespace platform::gles
