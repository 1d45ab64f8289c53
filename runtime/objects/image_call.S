/*
** QuendalImageCall: the boundary between native code and image code.
**
** uint64_t QuendalImageCall(ImageCallRecord* record)
**   calls record->entry with record->args[0..5] in rdi, rsi, rdx, rcx, r8,
**   r9 and returns its rax.
**
** Frame (rbp = B, 16-byte aligned):
**   [B+8]   return address into the native caller
**   [B]     the caller's rbp
**   [B-8]   record pointer       (exception dispatch reads it here)
**   [B-16]  rbx, [B-24] r12, [B-32] r13, [B-40] r14, [B-48] r15
**
** The image routine's frame holds QuendalImageCallReturn as its return
** address; exception dispatch treats that address as the boundary.  When
** dispatch reaches it without a handler, it stores the exception in the
** record and makes the returning frame resume at QuendalImageCallRaised
** with rbp = B (whatever rsp and callee-saved registers the image code
** left): the exit below rebuilds everything from the frame, so the native
** caller gets its registers back either way.
**
** The CFI lets C++ exceptions thrown by a native routine called through
** here pass on to the native caller.  The object carries no GNU property
** note, so the linked program is not marked for a shadow stack: exception
** dispatch redirects return addresses by design.
*/
	.text
	.p2align 4
	.globl QuendalImageCall
	.type QuendalImageCall,@function
	.globl QuendalImageCallReturn
	.globl QuendalImageCallRaised
QuendalImageCall:
	.cfi_startproc
	pushq %rbp
	.cfi_def_cfa_offset 16
	.cfi_offset %rbp, -16
	movq %rsp, %rbp
	.cfi_def_cfa_register %rbp
	pushq %rdi
	pushq %rbx
	.cfi_offset %rbx, -32
	pushq %r12
	.cfi_offset %r12, -40
	pushq %r13
	.cfi_offset %r13, -48
	pushq %r14
	.cfi_offset %r14, -56
	pushq %r15
	.cfi_offset %r15, -64
	movq %rdi, %rax
	movq 16(%rax), %rsi
	movq 24(%rax), %rdx
	movq 32(%rax), %rcx
	movq 40(%rax), %r8
	movq 48(%rax), %r9
	movq 8(%rax), %rdi
	callq *(%rax)
QuendalImageCallReturn:
	jmp 1f
QuendalImageCallRaised:
	xorl %eax, %eax
1:
	leaq -48(%rbp), %rsp
	popq %r15
	popq %r14
	popq %r13
	popq %r12
	popq %rbx
	leave
	.cfi_def_cfa %rsp, 8
	ret
	.cfi_endproc
	.size QuendalImageCall, .-QuendalImageCall

	.section .note.GNU-stack,"",@progbits
