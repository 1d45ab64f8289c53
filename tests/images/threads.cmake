# Images of the cooperative threads' end-to-end test (tests/image/threads_e2e_test.cpp).
quendal_test_image(thread_services thread_services.c)
add_custom_command(OUTPUT ${QUENDAL_TEST_IMAGE_DIR}/thread_services/image.bin APPEND
                   DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/images/startup_rt.h)
