# CDirectSoundStream's constructor stores the voice table at +0x14 and the stream table at +0x1B.
	.section	DSOUND,"xr"
	.globl	"??0CDirectSoundStream@DirectSound@@QAE@PAX@Z"
"??0CDirectSoundStream@DirectSound@@QAE@PAX@Z":
	pushl	%ebp
	movl	%esp, %ebp
	pushl	%esi
	pushl	%edi
	movl	%ecx, %esi
	movl	8(%ebp), %edi
	movl	%edi, 0x1c(%esi)
	xorl	%eax, %eax
	movl	%eax, 0x10(%esi)
	movl	$"??_7CDirectSoundVoice@DirectSound@@6B@", (%esi)
	movl	$"??_7CDirectSoundStream@DirectSound@@6B@", 4(%esi)
	movl	$1, 8(%esi)
	movl	%esi, %eax
	popl	%edi
	popl	%esi
	popl	%ebp
	retl	$4
	.section	.rdata,"dr"
	.globl	"??_7CDirectSoundStream@DirectSound@@6B@"
"??_7CDirectSoundStream@DirectSound@@6B@":
	.long	"?AddRef@CDirectSoundStream@DirectSound@@SGKPAU12@@Z"
	.long	"?Release@CDirectSoundStream@DirectSound@@SGKPAU12@@Z"
	.long	"?GetInfo@CDirectSoundStream@DirectSound@@SGJPAU12@PAK@Z"
	.long	"?GetStatus@CDirectSoundStream@DirectSound@@SGJPAU12@PAK@Z"
	.long	"?Process@CDirectSoundStream@DirectSound@@SGJPAU12@PAX1@Z"
	.long	"?Discontinuity@CDirectSoundStream@DirectSound@@SGJPAU12@@Z"
	.long	"?Flush@CDirectSoundStream@DirectSound@@SGJPAU12@@Z"
	.globl	"??_7CDirectSoundVoice@DirectSound@@6B@"
"??_7CDirectSoundVoice@DirectSound@@6B@":
	.long	0, 0, 0, 0
