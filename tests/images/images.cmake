# Test images: quendal_test_image(NAME SOURCE [BUILD_ARGS ...]) builds
# tests/images/SOURCE into build/test_images/NAME/ (see tests/CMakeLists.txt).

# Image builder tests: every kind of relocation, renames, resources, options.
quendal_test_image(imagebuild_layout imagebuild_layout.S BUILD_ARGS
  --library LibraryCall=libdemo.so
  --name helper=Quendal.Helper%i4
  --resource TEST:7=${CMAKE_CURRENT_SOURCE_DIR}/images/imagebuild_resource.txt
  --plugin-resource 3=${CMAKE_CURRENT_SOURCE_DIR}/images/imagebuild_plugin.bin
  --option "layout option")
# Image builder tests: a C program run in-process by a miniature loader.
quendal_test_image(imagebuild_app imagebuild_app.c BUILD_ARGS
  --name Say=Quendal.Say%%s
  --name Twice=Quendal.Twice%i4%i4)
