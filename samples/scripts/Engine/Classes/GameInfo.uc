//=============================================================================
// GameInfo: the rules of a game.
//=============================================================================
class GameInfo extends Info
	native;

var int MaxPlayers;
var string GameName;

event InitGame( string Options, out string Error );
function bool AtCapacity() { return false; }
