using System.Reflection;
using System.Runtime.CompilerServices;

[assembly: AssemblyTitle("Parcelon.Net")]
[assembly: AssemblyDescription("C# binding of the Parcelon ZIP library's C interface")]
[assembly: AssemblyVersion("1.2.0.0")]
// The tests compare the native record's layout (NativeEntry) with C's.
[assembly: InternalsVisibleTo("ParcelonTests")]
