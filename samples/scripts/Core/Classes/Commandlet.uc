//=============================================================================
// Commandlet: a command run from the command line by the game's tools.
//=============================================================================
class Commandlet extends Object
	abstract
	native;

var localized string HelpCmd;
var localized string HelpOneLiner;
var bool LogToStdout;

native event int Main( string Parms );
