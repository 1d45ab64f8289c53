# Images of the loader's end-to-end tests and the README's example.
quendal_test_image(hello hello.c)
quendal_test_image(print_lines print_lines.c)
