# MU_Init pushes the memory unit's device type right before it calls GetMaxDeviceTypeCount.
	.text
	.globl	_MU_Init@4
_MU_Init@4:
	pushl	%ebp
	movl	%esp, %ebp
	pushl	%esi
	movl	8(%ebp), %ecx
	movl	%ecx, %esi
	pushl	$_g_DeviceType_MU
	calll	"?GetMaxDeviceTypeCount@IUsbInit@@QAEKPAX@Z"
	testl	%eax, %eax
	je	1f
	movl	%eax, 4(%esi)
1:	popl	%esi
	leave
	retl	$4
