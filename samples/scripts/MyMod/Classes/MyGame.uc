//=============================================================================
// MyGame: the rules of the sample modification.
//=============================================================================
class MyGame extends GameInfo
	config(MyMod);

var config int FragLimit;

event InitGame( string Options, out string Error )
{
	Super.InitGame(Options, Error);
}
