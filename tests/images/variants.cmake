# Images of the variant and number text services' end-to-end test.
quendal_test_image(variant_services variant_services.c)
