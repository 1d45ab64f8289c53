# Images of the encoding services' end-to-end test.
quendal_test_image(encoding_services encoding_services.c)
