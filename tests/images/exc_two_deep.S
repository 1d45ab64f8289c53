/*
** A raise two compiled methods deep: the inner method's catch-all
** re-raises, releases its variable and cleans up; then the outer handler
** runs and prints the first two names of the exception's stack.
*/
#include "exc_frame.h"

	FUNCTION main
	METHOD_ENTRY
	call outer
	PRINT .Lend
	xorl %eax, %eax
	leave
	ret
	.size main, .-main

	FUNCTION outer
	METHOD_ENTRY
	call inner
	movq $1, -24(%rbp)
	HANDLER_RECORD 0x411, -16, 1f
	RELOAD_STACK
	PRINT .Louter
	PRINT_IF_SET -24, .Lafter
	movq -16(%rbp), %rdi
	call RuntimeExceptionStack
	movq %rax, -32(%rbp)
	xorl %esi, %esi
	call print_element
	movl $1, %esi
	call print_element
	movq -32(%rbp), %rdi
	call RuntimeUnlockObject
	movq -16(%rbp), %rdi
	call RuntimeUnlockObject
	movq $0, -16(%rbp)
1:
	leave
	ret
	.size outer, .-outer

	FUNCTION inner
	METHOD_ENTRY
	call RaiseNilObjectException
	movq $1, -24(%rbp)
	HANDLER_RECORD 0x411, -16, 1f
	RELOAD_STACK
	movq -16(%rbp), %rdi
	call RuntimeReraiseException
	movq -16(%rbp), %rdi
	call RuntimeUnlockObject
	movq $0, -16(%rbp)
	PRINT .Lcleanup
	PRINT_IF_SET -24, .Lafter
1:
	leave
	ret
	.size inner, .-inner

	/* print_element: prints element %esi of the String array in
	** -32(%rbp) of the caller's frame, through the array's Get slot. */
	FUNCTION print_element
	pushq %rbp
	movq %rsp, %rbp
	subq $16, %rsp
	movq (%rbp), %rax
	movq -32(%rax), %rdi
	movq 48(%rdi), %rax
	call *(%rax)
	movq %rax, -8(%rbp)
	movq %rax, %rdi
	call RuntimeConsolePrint
	movq -8(%rbp), %rdi
	call RuntimeUnlockString
	leave
	ret
	.size print_element, .-print_element

	.section .rodata.str1.1,"aMS",@progbits,1
.Louter:	.asciz "outer handler"
.Lcleanup:	.asciz "inner clean-up"
.Lafter:	.asciz "a statement after the raise ran"
.Lend:	.asciz "end of main"
