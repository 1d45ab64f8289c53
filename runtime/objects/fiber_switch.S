/*
** The context switch of the cooperative threads (fiber.h).
**
** void QuendalFiberSwitch(void** saveSp, void* loadSp)
**   saves the running context on its own stack, stores that stack pointer
**   in *saveSp, and resumes the context saved at loadSp.  It returns when
**   some later switch resumes the context it saved.
**
** A saved context, from the saved stack pointer upward (64 bytes):
**   [0]  MXCSR (4 bytes), [4] x87 control word (2 bytes), 2 unused
**   [8]  r15, [16] r14, [24] r13, [32] r12, [40] rbx, [48] rbp
**   [56] return address
** The System V ABI makes these registers and the two control words
** callee-saved; everything else the caller of the switch has already given
** up, as with any call.
**
** A new fiber's stack holds a context prepared by PrepareFiberContext
** (fiber.cpp): return address QuendalFiberStart, r12 = entry routine,
** r13 = its argument, rbp = 0 (the end of every frame-chain walk), and a
** stack pointer after the return that is 16-byte aligned.  QuendalFiberStart
** calls entry(argument); the entry never returns (a fiber ends by switching
** away for good), and ud2 stops the process if it ever did.  Its CFI marks
** the return address undefined, so C++ unwinding and debuggers stop there.
*/
	.text
	.p2align 4
	.globl QuendalFiberSwitch
	.type QuendalFiberSwitch,@function
QuendalFiberSwitch:
	.cfi_startproc
	pushq %rbp
	.cfi_def_cfa_offset 16
	pushq %rbx
	.cfi_def_cfa_offset 24
	pushq %r12
	.cfi_def_cfa_offset 32
	pushq %r13
	.cfi_def_cfa_offset 40
	pushq %r14
	.cfi_def_cfa_offset 48
	pushq %r15
	.cfi_def_cfa_offset 56
	subq $8, %rsp
	.cfi_def_cfa_offset 64
	stmxcsr (%rsp)
	fnstcw 4(%rsp)
	movq %rsp, (%rdi)
	movq %rsi, %rsp
	ldmxcsr (%rsp)
	fldcw 4(%rsp)
	addq $8, %rsp
	popq %r15
	popq %r14
	popq %r13
	popq %r12
	popq %rbx
	popq %rbp
	.cfi_def_cfa_offset 8
	ret
	.cfi_endproc
	.size QuendalFiberSwitch, .-QuendalFiberSwitch

	.p2align 4
	.globl QuendalFiberStart
	.type QuendalFiberStart,@function
QuendalFiberStart:
	.cfi_startproc
	.cfi_undefined %rip
	movq %r13, %rdi
	callq *%r12
	ud2
	.cfi_endproc
	.size QuendalFiberStart, .-QuendalFiberStart

	.section .note.GNU-stack,"",@progbits
