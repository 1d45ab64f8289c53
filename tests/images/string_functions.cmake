# Images of the string functions' end-to-end tests.
quendal_test_image(strfn_services strfn_services.c)
