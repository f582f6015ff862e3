# The kernel thunk table: one slot per import, ordinal with the top bit set, ended by 0.
	.data
	.globl	_kernel_thunk
_kernel_thunk:
	.globl	"__imp__NtSetEvent@8"
"__imp__NtSetEvent@8":	.long	0x800000E1
	.globl	"__imp__NtPulseEvent@8"
"__imp__NtPulseEvent@8":	.long	0x800000CD
	.globl	"__imp__NtClearEvent@4"
"__imp__NtClearEvent@4":	.long	0x800000C5
	.globl	"__imp__NtCreateEvent@16"
"__imp__NtCreateEvent@16":	.long	0x800000BD
	.globl	"__imp__RtlNtStatusToDosError@4"
"__imp__RtlNtStatusToDosError@4":	.long	0x8000012D
	.globl	"__imp__KeQueryPerformanceCounter@0"
"__imp__KeQueryPerformanceCounter@0":	.long	0x8000007E
	.globl	"__imp__RtlInitAnsiString@8"
"__imp__RtlInitAnsiString@8":	.long	0x80000121
	.globl	"__imp__IoCreateSymbolicLink@8"
"__imp__IoCreateSymbolicLink@8":	.long	0x80000043
	.long	0
	.globl	__tls_array
	.set	__tls_array, 0x2c
