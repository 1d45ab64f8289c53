/*
** The scan skips a nested region (markers 0x412 ... 0x413) that starts
** after the call site, and a handler whose variable position is 0 gets no
** exception stored.
*/
#include "exc_frame.h"

	FUNCTION main
	METHOD_ENTRY
	call RaiseNilObjectException
	movq $1, -24(%rbp)
	HANDLER_RECORD 0x412, 0, 2f
2:
	movq $1, -24(%rbp)
	HANDLER_RECORD 0x411, -16, 3f
	RELOAD_STACK
	movq $1, -32(%rbp)
	jmp 4f
3:
	HANDLER_RECORD 0x413, 0, 4f
4:
	HANDLER_RECORD 0x411, 0, 1f
	RELOAD_STACK
	PRINT .Lhandler
	PRINT_IF_SET -32, .Lnested
	PRINT_IF_SET -24, .Lafter
	PRINT_IF_SET -16, .Lstored
1:
	PRINT .Lend
	xorl %eax, %eax
	leave
	ret
	.size main, .-main

	.section .rodata.str1.1,"aMS",@progbits,1
.Lhandler:	.asciz "handler after the nested region"
.Lnested:	.asciz "the nested handler ran"
.Lafter:	.asciz "a statement after the raise ran"
.Lstored:	.asciz "the variable received the exception"
.Lend:	.asciz "end of main"
