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
# Images of the exception tests (tests/exception_e2e_test.cpp): handler
# records in assembly (exc_frame.h), unhandled exceptions from C.
foreach(image exc_own_handler exc_nested_region exc_stack_overflow)
  quendal_test_image(${image} ${image}.S)
endforeach()
quendal_test_image(exc_two_deep exc_two_deep.S BUILD_ARGS
  --name inner=Quendal.Inner%%
  --name outer=Quendal.Outer%%)
foreach(image exc_own_handler exc_nested_region exc_stack_overflow exc_two_deep)
  add_custom_command(OUTPUT ${QUENDAL_TEST_IMAGE_DIR}/${image}/image.bin APPEND
                     DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/images/exc_frame.h)
endforeach()
foreach(image exc_unhandled_nil exc_unhandled_end exc_unhandled_thread_end exc_recursion)
  quendal_test_image(${image} ${image}.c)
endforeach()
