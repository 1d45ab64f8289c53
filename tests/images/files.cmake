# Images of the files layer's end-to-end test.
quendal_test_image(files_services files_services.c)
