# Codec libraries of the image code, linked privately into proofshot_ui.
pkg_check_modules(JPEG REQUIRED IMPORTED_TARGET libjpeg)
pkg_check_modules(PNG REQUIRED IMPORTED_TARGET libpng)
pkg_check_modules(TIFF REQUIRED IMPORTED_TARGET libtiff-4)
pkg_check_modules(EXIF REQUIRED IMPORTED_TARGET libexif)
pkg_check_modules(PIXBUF REQUIRED IMPORTED_TARGET gdk-pixbuf-2.0)
pkg_check_modules(V4L2 REQUIRED IMPORTED_TARGET libv4l2)
pkg_check_modules(GIF REQUIRED IMPORTED_TARGET libgif)

target_link_libraries(proofshot_ui PRIVATE
  PkgConfig::JPEG PkgConfig::PNG PkgConfig::TIFF PkgConfig::EXIF PkgConfig::PIXBUF
  PkgConfig::V4L2 PkgConfig::GIF)
